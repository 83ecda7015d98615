sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Pattern 2, phase 2, last of three cycles
F 227-2
1.0
64 64 64
1
112.0 0.0
1.540560
2
2
10.0   # FODIV
