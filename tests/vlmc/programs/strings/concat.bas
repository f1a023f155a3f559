' Suite program: joining text and LEN.
a$ = "Hello"
b$ = a$ + ", " + "world"
PRINT b$
PRINT LEN(b$)
PRINT LEN("")
