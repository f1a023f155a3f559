' Fails to translate: assignments, READ and INPUT whose target and value do
' not agree.
TYPE Point
  x
END TYPE
TYPE Size
  w
END TYPE
FUNCTION area(s AS Size)
  RETURN s.w
END FUNCTION
SUB tick
END SUB
DIM p AS Point
DIM s AS Size
x = 1
x = "one"
x = tick()
area = 3
p = s
DIM q$ AS Point, n% AS Point
READ p
INPUT "name? ", p
CONST LIMIT = 3
INPUT LIMIT
