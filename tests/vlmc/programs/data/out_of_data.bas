' Suite program: reading past the last DATA value is error 20 and ends the
' program (status 1); the END report names statement 3.
PROJECT DebugMode = 1
DATA 7
  1  READ a
  2  PRINT a
  3  READ b
  4  PRINT "not reached"
