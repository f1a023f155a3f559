' Suite program: parameters are passed by value.
FUNCTION bump(x)
  x = x + 1
  PRINT x
END FUNCTION
a = 1
bump(a)
PRINT a
