' Suite program: STR$, VAL, CHR$ and ASC.
PRINT STR$(2.5)
PRINT VAL("12.5abc") + 1
PRINT VAL("x")
PRINT CHR$(65) + CHR$(66)
PRINT ASC("a")
PRINT ASC("")
