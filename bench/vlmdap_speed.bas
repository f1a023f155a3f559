' The debug adapter benchmark's program: one statement run over and over,
' for stops at a breakpoint and for stepping statement by statement.
PROJECT DebugMode = 1, ScreenWidth = 320, ScreenHeight = 240, FullScreen = 0, AppTitle = "vlmdap speed"
GLOBAL total

FOR i = 1 TO 100000000
  total = total + i                            ' @body
NEXT
