sample.fos
sample.mem
1.0
# IAMP
1

