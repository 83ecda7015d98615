small.cif
-
small.mem
-
Jana layout, the model in the file's own block
1.0
32 36 40
45
