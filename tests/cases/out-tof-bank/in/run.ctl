sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Time of flight, bank 2
F 227-2
1.0
64 64 64
1
112.0 -8.5
1.540560
2
1
90.0 144.845 / 30   # bank angles
10.0   # FODIV
