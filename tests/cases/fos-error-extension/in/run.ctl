sample.Fos
sample.mem
1.0
1
1.5406
