sample.out          # FullProf output
-                   # no auxiliary file: amplitudes and phases from the model
sample.mem
KMnF3, the last cycle's F occupancy not the one the table was computed with
P 221
1.0
48 48 48
1
20.632 -3.730
1.594000
1
1
