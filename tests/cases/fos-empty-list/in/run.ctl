sample.fos
sample.mem
0.05  # E
0  # IAMP
0.710730  # lambda1
