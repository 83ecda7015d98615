sample.out          # FullProf output
amp.txt      # amplitudes and phases
sample.mem
Neutron at a fixed wavelength
F 227-2
1.0
64 64 64
0
98.4
1.540560
1
1
2.5   # FODIV
