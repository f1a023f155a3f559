' Suite program: comparisons as the numbers 1 and 0.
x = 3 > 2
PRINT x
PRINT 2 = 3
PRINT (1 < 2) + (2 < 3)
PRINT 2 <> 3
PRINT 3 <= 3
PRINT 4 >= 5
