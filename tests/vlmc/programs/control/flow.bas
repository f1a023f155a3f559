' Suite program: SUBs called by name, GOTO to labels in the same routine,
' several statements on a line, REM, CONTINUE, and DO ... LOOP with its
' condition at either end.
GLOBAL calls
SUB tick
  calls = calls + 1
END SUB
SUB countDown(n)
  again:
  IF n <= 0 THEN RETURN
  PRINT n; " ";
  n = n - 1
  GOTO again
END SUB
REM a comment as a statement of its own
tick(): tick
tick()
PRINT calls
countDown(3): PRINT "go"
' GOTO forward and out of a loop.
FOR i = 1 TO 10
  IF i = 4 THEN GOTO done
NEXT
done:
PRINT i
' CONTINUE goes on with the next pass of the innermost loop (or the one named).
FOR i = 1 TO 5
  IF i MOD 2 = 0 THEN CONTINUE
  PRINT i; " ";
NEXT
PRINT
k = 0
WHILE k < 6
  k = k + 1
  FOR j = 1 TO 3
    IF k > 2 THEN CONTINUE WHILE
  NEXT
  PRINT k; " ";
WEND
PRINT
' DO with the condition before the body may run no pass; after it, at least one.
n = 0
DO WHILE n < 3: n = n + 1: LOOP
PRINT n;
DO UNTIL n = 0
  n = n - 1
LOOP
PRINT n;
DO
  n = n + 1
LOOP UNTIL n >= 1
PRINT n;
DO
  n = n + 10
LOOP WHILE n < 5
PRINT n;
DO
  n = n + 1
  IF n > 20 THEN EXIT DO
  IF n < 15 THEN CONTINUE DO
  PRINT " "; n;
LOOP
PRINT
IF n > 0 THEN PRINT "a": PRINT "b" ELSE PRINT "c": PRINT "d"
IF n < 0 THEN PRINT "e": PRINT "f" ELSE PRINT "g": PRINT "h"
