' Suite program: SELECT CASE on numbers and text.
FOR v = 1 TO 7 STEP 2
  SELECT CASE v
    CASE 1
      PRINT "one"
    CASE 2, 3
      PRINT "two or three"
    CASE 4 TO 5
      PRINT "four to five"
    CASE ELSE
      PRINT "else"
  END SELECT
NEXT
c$ = "b"
SELECT CASE c$
  CASE "a"
    PRINT "A"
  CASE "b", "c"
    PRINT "B or C"
END SELECT
