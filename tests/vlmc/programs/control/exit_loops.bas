' Suite program: EXIT FOR, EXIT REPEAT and EXIT WHILE, also across an inner loop.
FOR i = 1 TO 10
  IF i = 3 THEN EXIT FOR
  PRINT i
NEXT
FOR i = 1 TO 3
  j = 0
  WHILE 1
    j = j + 1
    IF j = 2 THEN EXIT FOR
  WEND
  PRINT "not reached"
NEXT
PRINT i; j
n = 0
REPEAT
  n = n + 1
  IF n > 4 THEN EXIT REPEAT
FOREVER
PRINT n
WHILE 1
  EXIT WHILE
WEND
PRINT "done"
