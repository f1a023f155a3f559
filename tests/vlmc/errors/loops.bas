' Fails to translate: FOR counters that are no number variable, loop bounds
' and conditions that are no numbers, and FOR EACH elements named against
' their array.
TYPE Board
  cells[3, 3]
END TYPE
CONST LIMIT = 3
DIM list[3]
DIM words$[2]
DIM b AS Board
s$ = "a"
FOR list = 1 TO 2
NEXT
FOR s$ = 1 TO 2
NEXT
FOR b = 1 TO 2
NEXT
FOR LIMIT = 1 TO 2
NEXT
FOR EACH e IN list
  FOR e = 1 TO 2
  NEXT
NEXT
FOR i = "1" TO s$ STEP s$
NEXT
WHILE s$
WEND
DO UNTIL s$
LOOP
REPEAT
UNTIL s$
IF s$ THEN PRINT 1
FOR EACH w IN words$
NEXT
FOR EACH n$ IN list
NEXT
FOR EACH c IN b.cells
NEXT
FOR EACH k IN s$
NEXT
