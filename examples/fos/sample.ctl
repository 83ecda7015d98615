# memprep control file: binary structure-factor file to MEM data set
sample.fos          # source: binary structure-factor file
sample.mem          # MEM data set to write
1.0                 # E
1                   # IAMP: positive and negative amplitude
0.710730            # lambda1
