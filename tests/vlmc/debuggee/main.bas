' The debuggee of the translator's debugger test, module 0: the debugger
' stops at the first statement, then at statement 30 of module 1 (inside
' addTwice) on every call; statement 7 reads past the end of table. hero's
' fields are registered as hero.count and hero.label_Str, crowd (an array
' of records) as one entry.
PROJECT DebugMode = 1
GLOBAL score, title$, table[], hero AS Tally, crowd[] AS Tally

  1  score = 42.5
  2  title$ = "Polyvane"
  3  FOR n = 1 TO 3
  4    hero.count = n * 10
  5    score = score + addTwice(n)
     NEXT
  6  DIM table[5]
  7  table[5] = 1
