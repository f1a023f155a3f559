' Suite program: WHILE ... WEND.
n = 1
WHILE n < 100
  n = n * 3
WEND
PRINT n
WHILE 0
  PRINT "never"
WEND
