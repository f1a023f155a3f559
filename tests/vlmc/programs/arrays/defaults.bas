' Suite program: new arrays hold zeros; sizes from expressions.
DIM a[3]
PRINT a[2]
n = 2
DIM b[n + 1]
b[n] = 9
PRINT b[2]
