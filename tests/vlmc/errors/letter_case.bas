' Fails to translate: names that differ only in letter case (both places shown); a routine's own pair is a warning.
FUNCTION twice(x)
  RETURN 2 * x
END FUNCTION
FUNCTION Twice(x)
  RETURN 3 * x
END FUNCTION
Nu = 1
nu = 2
PRINT twice(Nu); Twice(nu)
FUNCTION spring(Coils)
  LOCAL coils
  coils = Coils / 2
  RETURN Coils + coils + COILS
END FUNCTION
