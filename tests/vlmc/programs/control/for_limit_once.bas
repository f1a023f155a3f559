n = 3
FOR i = 1 TO n
  n = 10
  PRINT i
NEXT
