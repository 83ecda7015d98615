sample.fos
sample.mem
1.0  # E
1  # IAMP
1.540560  # lambda1
