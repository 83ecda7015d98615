# memprep control file: phase 0 of a two-phase powder CIF; with --overlap-d 0.01 (args),
# 3 3 3 and 1 1 5, of one d-spacing, make an overlap group
pattern.cif         # source: reflection CIF (powder)
-                   # structure CIF: the file carries its phases
pattern.mem         # MEM data set to write
-                   # data block: the file's one with reflections
-                   # title: the file's
1.0                 # E
64 64 64            # NX NY NZ
0                   # phase id: the rock-salt phase
5%                  # uncertainty rule: sigma(Fo^2) = 5 % of Fo^2
112.0               # F000
