zero.zmemin
zero.mem
Cubic a = 10, zero reflections left out
F 225
90
0 0 0
