' Suite program: NOT, and AND/OR between comparisons.
PRINT NOT 0
PRINT NOT 5
IF NOT (2 > 3) THEN PRINT "not"
IF 1 < 2 AND 2 < 3 THEN PRINT "and"
IF 1 > 2 OR 2 < 3 THEN PRINT "or"
IF NOT 1 = 2 THEN PRINT "not binds loosely"
