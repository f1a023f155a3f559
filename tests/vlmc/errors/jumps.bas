' Fails to translate: GOTO into a loop or out of its routine, labels that are
' missing or twice, and REMOVE, CONTINUE and DIM where they do not belong.
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
