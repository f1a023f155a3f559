' Suite program: FOR with a step held in a variable.
s = -2
FOR i = 6 TO 1 STEP s
  PRINT i
NEXT
s = 0.5
FOR i = 0 TO 1 STEP s
  PRINT i
NEXT
