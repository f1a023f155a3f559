' Suite program: RETURN with values, early returns.
FUNCTION square(x)
  RETURN x * x
END FUNCTION
FUNCTION sign(x)
  IF x < 0 THEN RETURN -1
  IF x > 0 THEN RETURN 1
  RETURN 0
END FUNCTION
PRINT square(7)
PRINT sign(-3); sign(0); sign(8)
