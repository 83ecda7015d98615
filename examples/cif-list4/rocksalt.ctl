# memprep control file: a list-code-4 reflection file (no phases) with the structure of the
# refinement, which gives the phases
rocksalt.fcf        # source: reflection CIF
rocksalt.cif        # structure CIF: the phases come from its model
rocksalt.mem        # MEM data set to write
-                   # data block: the file's one
-                   # title: the file's
1.0                 # E
64 64 64            # NX NY NZ
0.71073             # lambda1: the file gives none
-                   # F000: the file's _exptl_crystal_F_000
