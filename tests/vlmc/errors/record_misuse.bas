' Fails to translate: misused records and TYPEs.
TYPE Point
  x, y
END TYPE
TYPE Chain
  link AS Chain
END TYPE
TYPE Item
  weight, name$
  sizes[0]
  where AS Place
END TYPE
DIM p AS Point
p.z = 1
p.X = 2
n = p + 1
p = 3
DIM q AS Poin
FUNCTION move(a AS Point)
  a.x = a.x + 1
END FUNCTION
DIM items[2] AS Item
move(items[0])
PRINT p
