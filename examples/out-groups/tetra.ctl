# memprep control file: a tetragonal model compound whose reflections overlap in pairs and
# threes, X-ray powder data refined with FullProf. Converted with overlap groups and the
# refinement's uncertainties (the arguments are in the file args beside this one).
tetra.out               # source: the FullProf output file
tetra.amp               # auxiliary file: |F|obs, |F|calc and phase angle of each reflection
tetra.mem               # MEM data set to write; tetra.fos is written beside it
Tetragonal model ABO3, a = 4.000, c = 4.010, Cu K-alpha1 X-ray data
P 123                   # VOL letter, space group 123 (P4/mmm, setting 1)
1.0                     # E: not used with --sigma refinement
48 48 48                # NX NY NZ
0                       # IAMP: 0 = positive amplitude only
128.0                   # positive amplitude: electrons in the cell (82 + 22 + 3 x 8)
1.540560                # lambda1
1                       # pattern number
1                       # phase number
10.0                    # FODIV: |Fo| = amplitude / FODIV x 10
