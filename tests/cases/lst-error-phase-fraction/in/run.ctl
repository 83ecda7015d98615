sample.lst
sample.mem
Second phase from histogram 2, neutron data
P 191
0.5
48 48 72
1
0 0               # amplitudes from the structure
1.0
2
3                 # phase 3: no fractions printed for it
