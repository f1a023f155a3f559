' Fails to translate: TYPE declarations: a name twice, fields twice or in
' two letter cases, and field arrays of sizes that are not allowed.
TYPE Point
  x, y
END TYPE
TYPE Point
  z
END TYPE
TYPE Shape
  corner, corner, Corner
  label$ AS Point, count% AS Point
  cube[2, 2, 2, 2, 2]
  steps[half], parts[1.5], row[-1]
  plane[1024, 1025], tags$["many"], big[1048577]
  place AS point
END TYPE
CONST half = 2.5
