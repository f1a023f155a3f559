' Suite program: an integer array (name ending in %) truncates what it is given toward zero, the
' runtime's way (beyond 32 bits: -2147483648), and its elements read as numbers.
GLOBAL g%[]
DIM g%[2]
g%[0] = 3.7
g%[1] = -3.7
PRINT g%[0]; " "; g%[1]
PRINT g%[0] / 2
g%[0] = 3000000000
PRINT g%[0]
DIM a%[2, 2]
a%[1, 1] = 7.9
a%[0, 1] = a%[1, 1] * 2
PRINT a%[0, 1]; " "; a%[0, 0]
n = add(5)
PRINT n
FUNCTION add(k)
  LOCAL t%[]
  DIM t%[1]
  t%[0] = k + 0.5
  RETURN t%[0] + 1
END FUNCTION
