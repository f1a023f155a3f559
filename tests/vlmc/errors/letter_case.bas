' Fails to translate: names that differ only in letter case (both places shown).
FUNCTION twice(x)
  RETURN 2 * x
END FUNCTION
FUNCTION Twice(x)
  RETURN 3 * x
END FUNCTION
Nu = 1
nu = 2
PRINT twice(Nu); Twice(nu)
