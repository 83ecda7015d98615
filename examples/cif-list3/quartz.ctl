# memprep control file: a reflection file in the DDL2 spelling with |Fo|, A and B
quartz.cif          # source: reflection CIF
-                   # structure CIF: the file carries its phases (A and B)
quartz.mem          # MEM data set to write
-                   # data block: the file's one
Made-up P 21/c data, list-code-3 items
1.0                 # E
40 48 56            # NX NY NZ
-                   # F000: the file's _exptl_crystal_F_000
