' Suite program: an index past the end: the END report names statement 3.
PROJECT DebugMode = 1
  1  DIM a[3]
  2  a[2] = 1
  3  a[3] = 1
  4  PRINT "not reached"
