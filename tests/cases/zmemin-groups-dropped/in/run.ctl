dropped.zmemin
dropped.mem
Groups with G'o' = 0 left out
F 227
90.0
0 0 0
