' Fails to translate: names used as what they are not, indices and fields
' that do not fit, and operators given values they do not take.
TYPE Point
  x, y
  path[4], plane[2, 3]
END TYPE
FUNCTION half(v)
  RETURN v / 2
END FUNCTION
DIM p AS Point
n = 1
s$ = "a"
DIM list[3]
z = missing[1]
a = half
b = p.path[1, 2]
c = p.plane[1]
d = list[1, 2, 3, 4, 5]
e = n[0]
f = p.x[0]
g = n.x
h = -s$
i = -p
j = s$ < 1
k = s$ * 2
l = 1 + half(1) * 0 + tick()
m = list[1, s$]
o = p.path
q = LEN
r = LoadSprite
SUB tick
END SUB
