' Suite program: one-line IF with ELSE.
x = 5
IF x > 3 THEN PRINT "big" ELSE PRINT "small"
IF x > 9 THEN PRINT "huge" ELSE PRINT "not huge"
IF x THEN PRINT "non-zero is true"
IF 0 THEN PRINT "zero is true"
