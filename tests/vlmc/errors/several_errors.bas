x = (1 +
y = 2 * * 3
PRINT z
