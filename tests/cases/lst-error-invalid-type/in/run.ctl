sample.lst
sample.mem
Two refinement runs in one list file
P 221
1.0
32 32 32
0
12.5
1.2
1
1
