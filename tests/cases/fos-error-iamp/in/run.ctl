sample.fos
sample.mem
1.0
2
1.5406
