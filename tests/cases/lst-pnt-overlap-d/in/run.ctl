# memprep control file: manganese oxide, neutron time-of-flight powder data from a
# refinement list file (diffraction type PNT).
mno.lst                 # source: the refinement list file
mno.mem                 # MEM data set to write; mno.fos is written beside it
MnO at 300 K, time-of-flight neutron data, bank 2
F 225                   # VOL letter, space group 225 (setting 1)
1.0                     # E
48 48 48                # NX NY NZ
1                       # IAMP: 1 = positive and negative amplitude
0 0                     # amplitudes: 0 = compute them from the structure in the list file
0.0                     # lambda1 (no single wavelength for time-of-flight data)
1                       # histogram number
1                       # phase number
150.0 90.0 35.0         # 2theta of banks 1, 2 and 3 (degrees); the list file says bank 2
7200.0 -0.5 5.0         # TOF constants: linear, quadratic, zero (type PNT only)
