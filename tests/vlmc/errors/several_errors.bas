' Fails to translate: two syntax errors and an unknown name after them, all reported.
x = (1 +
y = 2 * * 3
PRINT z
