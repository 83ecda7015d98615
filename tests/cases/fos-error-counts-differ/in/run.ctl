sample.fos
sample.mem
1.0
1
1.5406
