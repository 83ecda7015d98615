sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Time of flight, first heading form
F 227-2
1.0
64 64 64
0
98.4
1.540560
1
1
60.0 120.0   # bank angles
10.0   # FODIV
