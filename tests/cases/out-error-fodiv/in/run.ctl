sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Divisor 0
F 227-2
1.0
64 64 64
1
112.0 -8.5
1.540560
1
1
0.0   # FODIV
