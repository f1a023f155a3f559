' Fails to translate: GOTO into a loop, an ELSE branch or out of its routine, labels that are
' missing, twice or not plain names, and REMOVE, CONTINUE and DIM where they do not belong.
GOTO inside
FOR i = 1 TO 3
  inside:
NEXT
SUB other
  outside:
  GOTO start
END SUB
start:
GOTO nowhere
GOTO outside
start:
DIM list[2, 2]
APPEND list, 1
FOR EACH e IN list
NEXT
REMOVE e
CONTINUE
DIM v[3]
FOR EACH v IN v
NEXT
IF 1 THEN
  GOTO elsewhere
ELSE
  elsewhere:
ENDIF
name$:
other:
again:
GOTO agian
RESTORE nowhere
RESTORE agian
DIM grid[2, 2]
REMOVE grid, 0
