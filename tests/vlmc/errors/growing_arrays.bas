' Fails to translate: APPEND and REMOVE on what is no array variable, and
' elements that do not fit the array.
TYPE Point
  x
END TYPE
TYPE Path
  steps[4]
END TYPE
DIM list[2]
DIM words$[2]
DIM points[2] AS Point
DIM path AS Path
DIM p AS Point
n = 1
APPEND n, 1
APPEND list[0], 1
APPEND path.steps, 1
APPEND list, "one"
APPEND words$, 1
APPEND points, 1
APPEND list, p
REMOVE path.steps, 0
REMOVE list, "first"
REMOVE n, 0
FOR EACH s IN path.steps
  REMOVE s
NEXT
