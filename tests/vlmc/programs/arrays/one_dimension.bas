' Suite program: a one-dimensional array with truncated indices.
DIM a[5]
FOR i = 0 TO 4
  a[i] = i * i
NEXT
PRINT a[4]
PRINT a[2.9]
PRINT a[0] + a[1]
