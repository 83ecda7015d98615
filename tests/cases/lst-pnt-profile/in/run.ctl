sample.lst
sample.mem
Time-of-flight data, bank 3
I 229
1.0
40 40 40
0
38.9
1.0
1
1
30.0 90.0 145.0 /  bank angles
5000 0 0          # TOFLIN TOFQUAD TOFZERO
