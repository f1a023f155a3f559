' Fails to translate: CONSTs and DATA that are not constant, a CONST
' assigned, CONSTs defined through each other or twice, and of the other kind.
CONST A = B + 1, B = A * 2
CONST C = LEN("x"), D$ = 4
x = 1
DATA 1, x, "y"
CONST E = 2
E = 3
READ E
FUNCTION f(p = x, BYREF q = 1)
END FUNCTION
FUNCTION g(r = 1, s)
END FUNCTION
CONST E = 4
CONST WORD = "text"
