' Pathfinder: the cheapest route over a grid map read from a picture.
'
' The map is map.png, one pixel per cell: white is road (cost 1), green
' $00A000 grass (cost 3), blue water (cost 8), any other colour a wall. The
' left button on a cell sets the start, on another cell the goal: FindPath
' searches the route, which is drawn over the grid with its length and its
' total cost (the costs of the cells entered after the start). A further
' click starts over with a new start; the right button clears both.
'
' Started with the words "click sx sy gx gy" on its command line, the program
' clicks those two cells itself before the first frame (the scripted mode the
' tests use).
'
' The numbers in the left margin count the statements of the module, as the
' line hook, the debugger and the END report name them.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 0, Multisample = 0, FrameRate = 60, AppTitle = "Pathfinder"

' pixels%[] receives the map picture from LoadImageToArray, which fills an
' integer array: a name ending in % makes one.
GLOBAL pixels%[], costs[], route[]
GLOBAL mapW, mapH, cellSize, originX, originY
GLOBAL startX, startY, goalX, goalY, cells, total
GLOBAL mx, my, mb1, mb2, wasDown
GLOBAL command$, text$

  1  SetScreenMode(640, 480, 0)
  2  cellSize = 28
  3  originX = 40
  4  originY = 40
  5  startX = -1
  6  goalX = -1
  7  LoadImageToArray("map.png", pixels%, mapW, mapH)
  8  DIM costs[mapW, mapH]
  9  FOR y = 0 TO mapH - 1
 10    FOR x = 0 TO mapW - 1
 11      costs[x, y] = terrainCost(pixels%[x + y * mapW] AND $FFFFFF)
       NEXT
     NEXT
 12  command$ = CommandLineText()
 13  IF INSTR(command$, " click ") > 0
 14    command$ = MID$(command$, INSTR(command$, " click ") + 7, LEN(command$))
 15    clickCell(originX + VAL(wordOf$(command$, 1)) * cellSize + 2, originY + VAL(wordOf$(command$, 2)) * cellSize + 2)
 16    clickCell(originX + VAL(wordOf$(command$, 3)) * cellSize + 2, originY + VAL(wordOf$(command$, 4)) * cellSize + 2)
     ENDIF
     REPEAT
 17    GetMouseState(mx, my, mb1, mb2)
 18    IF mb1 <> 0 AND wasDown = 0 THEN clickCell(mx, my)
 19    wasDown = mb1
 20    IF mb2 <> 0
 21      startX = -1
 22      goalX = -1
 23      cells = 0
       ENDIF
 24    ClearScreen($302020)
 25    drawLegend()
 26    drawMap()
 27    drawRoute()
 28    showStatus()
 29    ShowScreen()
     FOREVER

' The cost of entering a cell of the given colour; 0 is a wall.
FUNCTION terrainCost(rgb)
 30  SELECT CASE rgb
       CASE $FFFFFF
 31      RETURN 1
       CASE $00A000
 32      RETURN 3
       CASE $FF0000
 33      RETURN 8
     END SELECT
 34  RETURN 0
END FUNCTION

' The colour a cell of the given cost is drawn in.
FUNCTION terrainColour(cost)
 35  SELECT CASE cost
       CASE 1
 36      RETURN $C8C8C8
       CASE 3
 37      RETURN $3C963C
       CASE 8
 38      RETURN $C85028
     END SELECT
 39  RETURN $1E1E1E
END FUNCTION

' The n-th word (1 first) of a text of words separated by blanks; empty when
' there are fewer.
FUNCTION wordOf$(words$, n)
  LOCAL k, count, word$
 40  FOR k = 1 TO LEN(words$)
 41    IF MID$(words$, k, 1) = " "
 42      IF word$ <> ""
 43        count = count + 1
 44        IF count = n THEN RETURN word$
 45        word$ = ""
         ENDIF
       ELSE
 46      word$ = word$ + MID$(words$, k, 1)
       ENDIF
     NEXT
 47  IF word$ <> "" AND count + 1 = n THEN RETURN word$
 48  RETURN ""
END FUNCTION

' A click at a screen point: outside the grid it does nothing; the first
' click sets the start, the second the goal and searches the route.
FUNCTION clickCell(px, py)
  LOCAL cx, cy, k
 49  IF px < originX OR py < originY THEN RETURN
 50  cx = INT((px - originX) / cellSize)
 51  cy = INT((py - originY) / cellSize)
 52  IF cx >= mapW OR cy >= mapH THEN RETURN
 53  IF startX < 0 OR goalX >= 0
 54    startX = cx
 55    startY = cy
 56    goalX = -1
 57    cells = 0
     ELSE
 58    goalX = cx
 59    goalY = cy
 60    cells = FindPath(costs, route, 0.5, startX, startY, goalX, goalY)
 61    total = 0
 62    FOR k = 1 TO cells - 1
 63      total = total + costs[route[k, 0], route[k, 1]]
       NEXT
     ENDIF
END FUNCTION

FUNCTION drawLegend()
 64  PrintText("ROAD 1", 40, 16, 0)
 65  DrawRect(96, 14, 12, 12, terrainColour(1))
 66  PrintText("GRASS 3", 130, 16, 0)
 67  DrawRect(194, 14, 12, 12, terrainColour(3))
 68  PrintText("WATER 8", 228, 16, 0)
 69  DrawRect(292, 14, 12, 12, terrainColour(8))
 70  PrintText("WALL", 326, 16, 0)
 71  DrawRect(366, 14, 12, 12, terrainColour(0))
END FUNCTION

' Every cell in its terrain's colour, with a gap of two pixels between cells.
FUNCTION drawMap()
  LOCAL x, y
 72  FOR y = 0 TO mapH - 1
 73    FOR x = 0 TO mapW - 1
 74      DrawRect(originX + x * cellSize, originY + y * cellSize, cellSize - 2, cellSize - 2, terrainColour(costs[x, y]))
       NEXT
     NEXT
END FUNCTION

' A square in the middle of cell (x, y).
FUNCTION markCell(x, y, colour)
 75  DrawRect(originX + x * cellSize + 6, originY + y * cellSize + 6, cellSize - 14, cellSize - 14, colour)
END FUNCTION

' The route's cells in yellow, the start in red, the goal in cyan.
FUNCTION drawRoute()
  LOCAL k
 76  FOR k = 0 TO cells - 1
 77    markCell(route[k, 0], route[k, 1], $00DCFF)
     NEXT
 78  IF startX >= 0 THEN markCell(startX, startY, $4040FF)
 79  IF goalX >= 0 THEN markCell(goalX, goalY, $FFFF40)
END FUNCTION

FUNCTION showStatus()
 80  IF mapW < 1
 81    text$ = "NO MAP: map.png could not be read"
     ELSEIF startX < 0
 82    text$ = "CLICK A START CELL"
     ELSEIF goalX < 0
 83    text$ = "CLICK A GOAL CELL"
     ELSEIF cells = 0
 84    text$ = "NO PATH"
     ELSE
 85    text$ = "PATH: " + STR$(cells) + " CELLS, " + STR$(cells - 1) + " STEPS, COST " + STR$(total)
     ENDIF
 86  PrintText(text$, 40, 446, 0)
END FUNCTION
