' Suite program: a global text array.
GLOBAL names$[]
DIM names$[3]
names$[0] = "a"
names$[2] = "c"
PRINT names$[0] + "[" + names$[1] + "]" + names$[2]
