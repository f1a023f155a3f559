FOR i = 1 TO 3
  PRINT i
