sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Auxiliary file ends before the table
F 227-2
1.0
64 64 64
1
112.0 -8.5
1.540560
1
1
10.0   # FODIV
