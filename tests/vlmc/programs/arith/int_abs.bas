' Suite program: INT truncation and ABS.
PRINT INT(3.7)
PRINT INT(-3.7)
PRINT INT(0.5)
PRINT "[" + STR$(INT(2.9)) + "]"
PRINT ABS(-4.5)
PRINT ABS(4.5)
