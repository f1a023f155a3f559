' Suite program: TYPEs with number, text, integer, array and record fields;
' record variables, globals, locals and arrays of records; assignment copies.
TYPE Point
  x, y
END TYPE
TYPE Enemy
  name$, hp%
  pos AS Point
  path[3]
  tags$[2]
END TYPE
GLOBAL hero AS Enemy, crowd[] AS Enemy

FUNCTION describe$(e AS Enemy)
  RETURN e.name$ + " " + STR$(e.hp%) + " at " + STR$(e.pos.x) + "," + STR$(e.pos.y)
END FUNCTION

FUNCTION fresh()
  LOCAL p AS Point, list[] AS Point
  p.x = p.x + 1
  DIM list[2]
  list[1].y = 7
  RETURN p.x + list[1].y + list[0].y
END FUNCTION

hero.name$ = "hero"
hero.hp% = 12.9
hero.pos.x = 3
hero.pos.y = -4
hero.path[2] = 5
hero.tags$[0] = "brave"
PRINT describe$(hero)
PRINT hero.path[2] + hero.path[0]; " "; hero.path[-1]; " "; hero.tags$[0]; LEN(hero.tags$[1])
' Assignment copies, the array fields too.
DIM other AS Enemy
other = hero
other.name$ = "copy"
other.path[2] = 50
PRINT hero.name$; " "; other.name$; " "; hero.path[2]; " "; other.path[2]
' Arrays of records keep the rules of number arrays.
DIM crowd[3]
crowd[0] = hero
crowd[1].name$ = "second"
crowd[-1].hp% = 99
crowd[2].pos = hero.pos
PRINT crowd[0].name$; " "; crowd[1].name$; " "; crowd[2].hp%; " "; crowd[2].pos.y
PRINT describe$(crowd[1])
' Locals of a TYPE start empty on every call.
PRINT fresh(); " "; fresh()
' A record the main program declares by assignment.
copy = crowd[0]
PRINT copy.name$; " "; COUNT(crowd); " "; COUNT(copy.path)
