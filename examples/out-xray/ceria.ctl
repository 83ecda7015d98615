# memprep control file: cerium dioxide, X-ray powder data refined with FullProf.
ceria.out               # source: the FullProf output file
ceria.amp               # auxiliary file: amplitude and phase angle of each reflection
ceria.mem               # MEM data set to write; ceria.fos is written beside it
CeO2 at room temperature, Cu K-alpha1 X-ray data
F 225                   # VOL letter, space group 225 (setting 1)
1.0                     # E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), Io = Iobs of the table
72 72 72                # NX NY NZ
0                       # IAMP: 0 = positive amplitude only
296.0                   # positive amplitude: electrons in the cell (4 Ce + 8 O)
1.540560                # lambda1
1                       # pattern number
1                       # phase number
10.0                    # FODIV: |Fo| = amplitude / FODIV x 10
