sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Bank not on the line
F 227-2
1.0
64 64 64
1
112.0 -8.5
1.540560
3
1
90.0 145.0   # bank angles
10.0   # FODIV
