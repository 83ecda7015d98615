# memprep control file: cerium dioxide, an earlier MEM data set of time-of-flight
# neutron data with overlap groups, converted into a new MEM data set.
ceria.zmemin            # source: the earlier MEM data set
ceria.mem               # MEM data set to write
CeO2, time-of-flight neutron data, bank at 2theta = 90
F 225                   # VOL letter, space group 225 (setting 1)
90.0                    # 2theta of the detector bank (degrees)
7200.0 -0.5 5.0         # TOF constants: linear, quadratic, zero
