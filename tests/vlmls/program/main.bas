' The language server's test program: module 0, with one error (a misspelt variable).
PROJECT ScreenWidth = 320, ScreenHeight = 240, AppTitle = "Shapes"
GLOBAL frames
width = 40
height = 30
total = Area(width, height) + Area(widht, 2)
ClearScreen($602010)
REPEAT
  DrawRect(10, 10, width, height, $00E0FF)
  frames = frames + 1
  ShowScreen()
UNTIL frames > 2
