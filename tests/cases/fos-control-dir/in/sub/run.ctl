# saved with a byte-order mark; with -C its names are taken beside it, in sub/
sample.fos
sample.mem
1.0                 # E
1                   # IAMP
1.540560            # lambda1
