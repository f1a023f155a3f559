' Suite program: block IF with ELSEIF and ELSE.
FOR k = 1 TO 4
  IF k = 1
    PRINT "one"
  ELSEIF k = 2 THEN
    PRINT "two"
  ELSEIF k = 3
    PRINT "three"
  ELSE
    PRINT "other"
  ENDIF
NEXT
IF k = 5 THEN
  PRINT "after the loop k is 5"
END IF
