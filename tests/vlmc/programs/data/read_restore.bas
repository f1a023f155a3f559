' Suite program: CONSTs folded at translation time; DATA read in order,
' RESTORE to the start and to a label; numbers and texts convert.
CONST LIMIT = 3, HALF = LIMIT / 2, TITLE$ = "level" + " one", MASK = $F0 OR 15
CONST NEG = -LIMIT * 2, BIG = 2 ^ 40
DATA 1, 2.5, "three"
levels:
DATA -4, "5", TITLE$, LIMIT * 2
FOR i = 1 TO LIMIT
  READ x$
  PRINT x$; " ";
NEXT
PRINT
READ a, b, c$, d
PRINT a; " "; b; " "; c$; " "; d
RESTORE levels
READ a
RESTORE
READ b, c
PRINT a; " "; b; " "; c
PRINT HALF; " "; MASK; " "; NEG; " "; BIG; " "; TITLE$
DIM ints%[2]
RESTORE levels
READ ints%[0], ints%[1]
PRINT ints%[0] + ints%[1]
