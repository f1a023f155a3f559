' The debuggee of the translator's debugger test, module 0: the debugger
' stops at the first statement, then at statement 30 of module 1 (inside
' addTwice) on every call; statement 6 reads past the end of table.
PROJECT DebugMode = 1
GLOBAL score, title$, table[]

  1  score = 42.5
  2  title$ = "Polyvane"
  3  FOR n = 1 TO 3
  4    score = score + addTwice(n)
     NEXT
  5  DIM table[5]
  6  table[5] = 1
