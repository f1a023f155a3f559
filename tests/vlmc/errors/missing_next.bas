' Fails to translate: a FOR loop without NEXT.
FOR i = 1 TO 3
  PRINT i
