sample.fos
sample.mem
2.0  # E
1  # IAMP
0.559360  # lambda1
