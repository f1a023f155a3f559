' Fails to translate: SELECT CASE values of the other kind, RETURN values
' and PRINT items that do not fit, and DIM of what is no array or record.
TYPE Point
  x
END TYPE
TYPE Size
  w
END TYPE
CONST LIMIT = 3
SUB tick
END SUB
FUNCTION twice(v)
  RETURN "two"
END FUNCTION
FUNCTION name$()
  RETURN 2
END FUNCTION
DIM p AS Point
DIM list[2]
n = 1
SELECT CASE p
  CASE 1
END SELECT
SELECT CASE n
  CASE "one"
  CASE 2 TO "three"
END SELECT
SELECT CASE "a"
  CASE 1
END SELECT
PRINT tick()
DIM grid["two"]
DIM LIMIT[2]
FOR EACH e IN list
  DIM e[2]
NEXT
DIM p AS Size
DIM n AS Point
DIM n[2]
DIM list[1, 2, 3, 4, 5]
DIM list AS Point
DIM q AS Point
DIM PRESERVE q AS Point
DIM crowd[2] AS Point
DIM crowd AS Point
