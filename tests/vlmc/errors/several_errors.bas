' Fails to translate: two syntax errors, both reported.
x = (1 +
y = 2 * * 3
PRINT z
