' Suite program: division, including by zero.
PRINT 1 / 4
PRINT 1 / 3
PRINT 10 / 4 * 2
PRINT 3 / 0
