' Suite program: names differing only in letter case are distinct.
FUNCTION twice(x)
  RETURN 2 * x
END FUNCTION
FUNCTION Twice(x)
  RETURN 3 * x
END FUNCTION
Nu = 1
nu = 2
PRINT twice(Nu); Twice(nu)
