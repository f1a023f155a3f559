' Suite program: arrays and records passed by reference, BYREF numbers and
' texts, optional parameters with defaults, and an element passed by
' reference to a routine that resizes its array.
TYPE Box
  w, h
  label$
END TYPE
CONST WIDE = 10, NAME$ = "box"

FUNCTION total(a[])
  LOCAL s
  FOR EACH v IN a
    s = s + v
  NEXT
  APPEND a, s
  RETURN s
END FUNCTION

SUB grow(b AS Box, BYREF by, BYREF note$)
  b.w = b.w + by
  by = by * 2
  note$ = note$ + "+"
END SUB

SUB swap(BYREF x, BYREF y)
  LOCAL t
  t = x
  x = y
  y = t
END SUB

FUNCTION area$(b AS Box, scale = 1, unit$ = "cm")
  RETURN STR$(b.w * b.h * scale) + unit$
END FUNCTION

FUNCTION label$(b AS Box, prefix$ = NAME$ + ":")
  RETURN prefix$ + b.label$
END FUNCTION

SUB addBoxes(list[] AS Box, n)
  LOCAL k, b AS Box
  FOR k = 1 TO n
    b.w = k
    b.h = WIDE
    APPEND list, b
  NEXT
END SUB

' Changes the record passed and grows the array it came from.
SUB widen(b AS Box, list[] AS Box)
  b.w = 99
  addBoxes(list, 100)
END SUB

DIM v[3]
v[0] = 1: v[1] = 2: v[2] = 3
t = total(v)
PRINT t; " "; COUNT(v); " "; v[3]
DIM b AS Box
b.w = 2: b.h = 3: b.label$ = "red"
amount = 5
note$ = "n"
grow(b, amount, note$)
PRINT b.w; " "; amount; " "; note$
swap(v[0], v[2])
PRINT v[0]; " "; v[2]
PRINT area$(b); " "; area$(b, 2); " "; area$(b, 3, "m")
PRINT label$(b); " "; label$(b, "")
addBoxes(boxes, 2)
PRINT COUNT(boxes); " "; boxes[1].w; " "; boxes[1].h
widen(boxes[0], boxes)
PRINT COUNT(boxes); " "; boxes[0].w; " "; boxes[101].w
