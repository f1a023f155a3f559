' Suite program: MOD with signs, fractions and a zero divisor.
PRINT 7 MOD 3
PRINT -7 MOD 3
PRINT 7.9 MOD 3
PRINT 5 MOD 0
PRINT 2 + 7 MOD 4
