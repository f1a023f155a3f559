' Fails to translate: expressions that do not parse: a reserved word as a
' value, '==', indices in two pairs of brackets and an unclosed parenthesis.
z = PRINT
w = (1 == 2)
v = grid[1][2]
u = (1 + 2
