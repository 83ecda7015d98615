# memprep control file: potassium manganese fluoride, constant-wavelength neutron powder
# data refined with FullProf; no auxiliary file: |Fo| and the phases come from the
# refined model that the output prints (space group, cell, atoms, scattering lengths).
kmnf3.out               # source: the FullProf output file
-                       # auxiliary file: none, amplitudes and phases from the model
kmnf3.mem               # MEM data set to write; kmnf3.fos is written beside it
KMnF3 at 295 K, neutron data, lambda = 1.594 A
P 221                   # VOL letter, space group 221 (setting 1)
1.0                     # E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), Io = Iobs of the table
48 48 48                # NX NY NZ
1                       # IAMP: 1 = positive and negative amplitude
20.632 -3.730           # amplitudes (fm): K + 3 F positive, Mn negative
1.594000                # lambda1
1                       # pattern number
1                       # phase number (no FODIV line: there is no auxiliary file)
