' The debug adapter's test program, module 0. The tests find their lines by
' the @names in the comments. With the command-line word "loop" it runs a
' frame loop until it is paused and ended; with "bounds" it reads past the
' end of grid in module 1; otherwise it runs to its end and prints what it
' computed (records in module 2), so that a changed variable shows in its
' output.
PROJECT DebugMode = 1, ScreenWidth = 320, ScreenHeight = 240, FullScreen = 0
PROJECT FrameRate = 60, AppTitle = "vlmdap test"
GLOBAL counter, total, setMe, frames
GLOBAL greeting$, command$, grid[], flags%[], names$[], box[], pts[] AS Point

command$ = CommandLineText()                   ' @entry
greeting$ = "hello"
DIM grid[3, 4], flags%[5], names$[3]
names$[1] = "second"
FOR r = 0 TO 2
  FOR c = 0 TO 3
    grid[r, c] = r * 10 + c
  NEXT
NEXT
flags%[2] = 7
DIM box[2, 3, 2, 5], pts[3] AS Point
box[1, 2, 1, 4] = 1214
FOR r = 0 TO 2
  pts[r].x = r * 10
  pts[r].y = r * 10 + 1
NEXT
IF INSTR(command$, "loop") > 0 THEN frameLoop()
IF INSTR(command$, "bounds") > 0 THEN overrun(5)

' no statement on this line or the blank one before the loop: @before-loop

FOR i = 1 TO 10
  total = total + i                            ' @total
NEXT
setMe = 2
counter = addUp(20, 22)                        ' @call
PRINT "result "; STR$(INT(setMe * counter))    ' @print
PRINT "greeting "; greeting$
PRINT "hp "; STR$(moveShip(2))
