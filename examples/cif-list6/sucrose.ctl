# memprep control file: a list-code-6 reflection file (phases in the file) to a MEM data set
sucrose.fcf         # source: reflection CIF
-                   # structure CIF: the file carries its phases
sucrose.mem         # MEM data set to write
-                   # data block: the file's one
-                   # title: the file's
1.0                 # E
48 54 64            # NX NY NZ
-                   # F000: the file's _exptl_crystal_F_000
