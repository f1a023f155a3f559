' The debug adapter's test program, module 2: records. moveShip has a record
' LOCAL (text, integer, a record, an array and an array of records inside
' it), a LOCAL array of such records, arrays of records without elements,
' and reads and writes pts, the main program's array of records; what it
' prints shows the fields a debugger changed.
TYPE Point
  x, y
END TYPE

TYPE Ship
  name$, hp%
  pos AS Point
  path[3]
  parts[2] AS Point
END TYPE

FUNCTION moveShip(k)
  LOCAL ship AS Ship, fleet[] AS Ship, none[] AS Point, flat[] AS Point
  ship.name$ = "Kestrel"
  ship.hp% = 40
  ship.pos.x = pts[k].x
  ship.pos.y = pts[k].y
  ship.path[1] = 5
  ship.parts[1].y = 9
  DIM fleet[2] AS Ship, none[0] AS Point, flat[0, 2] AS Point
  fleet[1].name$ = "Heron"
  fleet[1].pos.y = 6
  fleet[1].parts[1].x = 8
  ship.pos.x = ship.pos.x + 1                  ' @ship
  pts[k].x = ship.pos.x
  PRINT "ship "; ship.name$; " at "; STR$(ship.pos.x); ","; STR$(ship.pos.y); " hp "; STR$(ship.hp%)
  PRINT "pts "; STR$(pts[0].y); " "; STR$(pts[1].y); " "; STR$(pts[2].x); " "; STR$(pts[2].y)
  PRINT "fleet "; fleet[1].name$; " "; STR$(fleet[1].pos.y); " "; STR$(fleet[1].parts[1].x); " "; STR$(fleet[0].hp%)
  RETURN ship.hp%
END FUNCTION
