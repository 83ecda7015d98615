# binary structure-factor file to MEM data set
sample.fos
sample.mem
1.0                 # E
1                   # IAMP
1.540560            # lambda1
