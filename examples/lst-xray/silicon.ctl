# memprep control file: silicon, X-ray powder data from a refinement list file
# (diffraction type PXC). One setting per line; text after '#' is a comment.
silicon.lst             # source: the refinement list file
silicon.mem             # MEM data set to write; silicon.fos is written beside it
Silicon at room temperature, Cu K-alpha1 X-ray data
F 227-2                 # VOL letter, space group 227, setting 2
1.0e9                   # E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), Io as written (x 1e-10)
64 64 64                # NX NY NZ
1                       # IAMP: 1 = positive and negative amplitude
0.0 0.0                 # amplitudes: a positive amplitude of 0 has both computed from the list file
1.540560                # lambda1
1                       # histogram number
1                       # phase number
0.5 0.8                 # PolA PolB: polarisation constants (type PXC only)
