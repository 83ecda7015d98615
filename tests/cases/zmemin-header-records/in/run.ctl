# kind Z: an earlier MEM data set with two amplitudes
  hdr.zmemin
hdr.mem          # output

Header records in another order  # title
P 2-3            # VOL SPG-SET
60.0             # 2theta
1.5, 0.25, -3.0  # TOFLIN TOFQUAD TOFZERO
