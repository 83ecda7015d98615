# memprep control file: nickel, neutron time-of-flight powder data of two detector
# banks refined together with FullProf; the data of bank 2 are taken.
nickel.out              # source: the FullProf output file
nickel.amp              # auxiliary file: amplitude and phase angle of each reflection
nickel.mem              # MEM data set to write; nickel.fos is written beside it
Ni at 300 K, time-of-flight neutron data, bank 2
F 225                   # VOL letter, space group 225 (setting 1)
1.0                     # E
48 48 48                # NX NY NZ
0                       # IAMP: 0 = positive amplitude only
41.2                    # positive amplitude: 4 Ni x 10.3 fm
0.0                     # lambda1 (no single wavelength for time-of-flight data)
2                       # pattern number = detector bank
1                       # phase number
145.0 90.0              # 2theta of banks 1 and 2 (degrees), time-of-flight data only
10.0                    # FODIV: |Fo| = amplitude / FODIV x 10
