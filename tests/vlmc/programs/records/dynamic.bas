' Suite program: arrays that grow and shrink: APPEND, REMOVE, FOR EACH (by
' reference, removing the current element) and DIM PRESERVE for every
' element type.
TYPE Shot
  x, alive
END TYPE
' APPEND to a name never dimensioned makes a one-dimensional array.
FOR i = 1 TO 5
  APPEND n, i * 10
NEXT
PRINT COUNT(n); " "; n[0]; " "; n[-1]
REMOVE n, 1
REMOVE n, -1
PRINT COUNT(n); " "; n[0]; " "; n[1]; " "; n[2]
' FOR EACH names each element in turn: assigning to it writes the array.
FOR EACH v IN n
  v = v + 1
NEXT
PRINT n[0]; " "; n[1]; " "; n[2]
' Removing the current element goes on with the one after it.
DIM s AS Shot
FOR k = 1 TO 6
  s.x = k
  s.alive = k MOD 2
  APPEND shots, s
NEXT
FOR EACH t IN shots
  IF t.alive = 0 THEN REMOVE t
  t.x = t.x * 100
NEXT
PRINT COUNT(shots); " "; shots[0].x; " "; shots[1].x; " "; shots[2].x
' Elements appended inside the loop are visited too; EXIT and CONTINUE work.
seen = 0
FOR EACH t IN shots
  seen = seen + 1
  IF t.x < 200 THEN APPEND shots, t
  IF seen > 10 THEN EXIT FOR
  IF t.x > 300 THEN CONTINUE
  t.alive = 5
NEXT
PRINT seen; " "; COUNT(shots); " "; shots[0].alive; " "; shots[2].alive
' Text and integer arrays.
APPEND names$, "a"
APPEND names$, "b"
FOR EACH w$ IN names$
  w$ = w$ + "!"
NEXT
PRINT names$[0]; names$[1]
DIM px%[2]
px%[1] = 7
APPEND px%, 8.9
FOR EACH p IN px%
  p = p * 2
NEXT
PRINT px%[0]; " "; px%[1]; " "; px%[2]
' DIM PRESERVE keeps the elements that still fit.
DIM grid[2, 2]
grid[1, 1] = 11
DIM PRESERVE grid[3, 3]
PRINT grid[1, 1]; " "; grid[2, 2]
DIM PRESERVE names$[3]
PRINT names$[1]; " ["; names$[2]; "]"
DIM PRESERVE px%[1]
PRINT COUNT(px%); " "; px%[0]
DIM PRESERVE shots[1]
PRINT COUNT(shots); " "; shots[0].x
' Emptied by REMOVE, the array has no elements; FOR EACH runs no pass.
REMOVE shots, 0
FOR EACH t IN shots
  PRINT "never"
NEXT
PRINT COUNT(shots)
