' Suite program: operator precedence and ^ associativity.
PRINT 2 + 3 * 4
PRINT (2 + 3) * 4
PRINT 10 - 4 - 3
PRINT 2 ^ 3 ^ 2
PRINT -2 ^ 2
PRINT 7 / 2
