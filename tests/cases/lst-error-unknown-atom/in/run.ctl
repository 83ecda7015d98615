# X-ray list file, amplitudes from the structure
sample.lst
sample.mem
Si with Fe on the 8b site, X-ray data
F 227-2
1.0
64 64 64
1
0.0 0.0           # computed from the list file
1.540560
1
1
0.5 0.8           # PolA PolB
