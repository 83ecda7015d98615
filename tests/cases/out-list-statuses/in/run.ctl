sample.out          # FullProf output
-                   # no auxiliary file: amplitudes and phases from the model
sample.mem
KMnF3: 3 0 0 and 2 1 0 printed with Icalc 0.0
P 221
1.0
48 48 48
1
20.632 -3.730
1.594000
1
1
