small.cif
-
small.mem
-
Friedel mates kept apart
4.0
32 36 40
-
