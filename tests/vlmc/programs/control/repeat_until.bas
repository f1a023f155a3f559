' Suite program: REPEAT ... UNTIL runs at least once.
count = 0
REPEAT
  count = count + 1
UNTIL count >= 5
PRINT count
REPEAT
  PRINT "once"
UNTIL 1
