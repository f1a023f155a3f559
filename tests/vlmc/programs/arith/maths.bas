' Suite program: XOR, integer division, MOD, the bit functions and shifts on
' 32-bit integers, SGN, ABS, SQR, EXP, ROUND, MIN, MAX, RANDOM and INT over
' the whole range of numbers.
PRINT (6 XOR 3); " "; (1 = 1) XOR (2 = 3); " "; (1 = 1) XOR (2 = 2)
PRINT 7 \ 2; " "; -7 \ 2; " "; 7.9 \ 2.1; " "; 5 \ 0
PRINT 7 MOD 3; " "; -7 MOD 3; " "; 7 MOD -3; " "; 7 MOD 0
PRINT 1 + 7 \ 2 * 3; " "; 2 * 7 MOD 4
PRINT BITAND(12, 10); " "; BITOR(12, 10); " "; BITXOR(12, 10); " "; BITNOT(0)
PRINT SHL(1, 4); " "; SHR(256, 4); " "; SHR(-16, 2); " "; SHL(1, 33); " "; SHL(1, 31)
PRINT SGN(-3.5); " "; SGN(0); " "; SGN(2); " "; ABS(-2.5); " "; SQR(16); " "; EXP(0)
PRINT ROUND(2.5); " "; ROUND(-2.5); " "; ROUND(2.4); " "; MIN(3, -1); " "; MAX(3, -1)
PRINT INT(2500000000); " "; INT(-2.7); " "; STR$(INT(2500000000.7)); " "; STR$(INT(-12345678901))
SeedRnd(7)
first = RANDOM()
ok = 1
FOR i = 1 TO 1000
  r = RANDOM()
  IF r < 0 OR r >= 1 THEN ok = 0
NEXT
SeedRnd(7)
PRINT ok; " "; RANDOM() = first
