' Fails to translate: a misspelt keyword, a keyword used as a name, and what
' other BASICs write that this language does not.
PRNT "x"
WEDN
next = 1
LET a = 1
GOTO 100
GOSUB 200
DEF FNdouble(x) = 2 * x
REDIM PRESERVE v[3]
n% = 1
b = a & 1
IF a != 2 THEN a = 3
WHILE a < 5
  a = a + 1
END WHILE
DIM w AS INTEGER
