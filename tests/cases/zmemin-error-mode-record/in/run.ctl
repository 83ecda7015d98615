mode.zmemin
mode.mem
Mode record 1
P 1
90
0 0 0
