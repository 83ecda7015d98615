# memprep control file: strontium titanate, constant-wavelength neutron powder data
# from a two-phase refinement list file (diffraction type PNC).
srtio3.lst              # source: the refinement list file
srtio3.mem              # MEM data set to write; srtio3.fos is written beside it
SrTiO3 at 295 K, neutron data, lambda = 1.5943 A
P 221                   # VOL letter, space group 221 (setting 1)
1.0e10                  # E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), Io as written (x 1e-10)
48 48 48                # NX NY NZ
1                       # IAMP: 1 = positive and negative amplitude
24.429 -3.438           # amplitudes (fm): Sr and O positive, Ti negative
1.594300                # lambda1
1                       # histogram number
1                       # phase number: the reflections of phase 2 are left out
