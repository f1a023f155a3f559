' Suite program: FOR with steps up, down and no pass.
FOR i = 1 TO 10 STEP 3
  PRINT i
NEXT i
FOR i = 3 TO 1 STEP -1
  PRINT i
NEXT
FOR i = 5 TO 1
  PRINT "never"
NEXT
PRINT i
