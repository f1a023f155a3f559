' Fails to translate: statements that do not parse: what follows them, what
' they need, and what other BASICs write.
PRINT 1 2
) = 3
EXIT
RETURN 5
DIM x
DIM 3
READ tick()
INPUT "name"; 2
tick() = 4
1 + 2 = 3
p.x
list[1]
x 1
CALL tick
LOCAL y
SUB tick
  RETURN 1
END SUB
