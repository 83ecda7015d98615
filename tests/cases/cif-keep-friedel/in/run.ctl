small.cif
-
small.mem
-
Friedel mates kept apart
1.0
32 36 40
-
