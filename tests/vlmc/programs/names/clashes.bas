' Suite program: the program's names may be those of runtime operations,
' C++ words and C library macros, and names a renamed one could take.
FUNCTION Find(a$, b$)
  RETURN 100
END FUNCTION
FUNCTION Upper(s$)
  RETURN LEN(s$) * 2
END FUNCTION
SUB Replace(BYREF x$)
  x$ = x$ + "!"
END SUB
FUNCTION LineHook(errno)
  RETURN errno + 1
END FUNCTION
Trunc = 1
u_Trunc = 2
u2_Trunc = 3
errno = 4
assert = 5
NULL = 6
EOF = 7
stdin = 8
min = 9
max = 10
linux = 11
GL_TRUE = 12
int32_t = 13
t$ = "t"
Replace(t$)
PRINT Find("a", "b"); " "; Upper("xy"); " "; t$; " "; LineHook(1)
PRINT Trunc + u_Trunc + u2_Trunc; " "; errno + assert + NULL + EOF + stdin; " "; min + max + linux + GL_TRUE + int32_t
PRINT INSTR("abc", "c"); " "; UPPER$("q")
