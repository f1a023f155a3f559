' Suite program: two- and four-dimensional arrays.
DIM m[3, 4]
m[2, 3] = 7
m[0, 0] = 1
PRINT m[2, 3] + m[0, 0]
DIM c[2, 2, 2, 2]
c[1, 1, 1, 1] = 5
PRINT c[1, 1, 1, 1]; c[0, 1, 1, 1]
