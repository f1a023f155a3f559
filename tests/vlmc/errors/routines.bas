' Fails to translate: routines, their parameters and LOCALs, GLOBALs and
' declared functions whose names clash or whose parts do not fit.
FUNCTION twice(a)
  RETURN a * 2
END FUNCTION
SUB twice(b)
END SUB
FUNCTION len(s$)
  RETURN 1
END FUNCTION
SUB greet$
END SUB
FUNCTION name$()
END FUNCTION
CONST LIMIT = 3
GLOBAL LIMIT
GLOBAL count, count
GLOBAL twice
FUNCTION pair(p, p, twice)
  LOCAL q, q, scale
  RETURN p + q
END FUNCTION
TYPE Spot
  x
END TYPE
SUB fill(BYREF list[], BYREF where AS Spot, BYREF n)
END SUB
FUNCTION scale(f = "x", s$ = 2, v[] = 1, w AS Spot = 0)
  RETURN f
END FUNCTION
DECLARE FUNCTION Beep(n) LIB "sound.dll"
DECLARE FUNCTION Beep(n) LIB "sound.dll"
DECLARE FUNCTION pair(n) LIB "sound.dll"
