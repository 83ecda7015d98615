open.zmemin
open.mem
Silicon, kind Z test
F 227
90.0
0 0 0
