' Suite program: the FOR limit is evaluated once.
n = 3
FOR i = 1 TO n
  n = 10
  PRINT i
NEXT
