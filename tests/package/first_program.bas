' A first program on Velmora in BASIC: a dark blue screen with a yellow box, shown every frame.
PROJECT ScreenWidth = 320, ScreenHeight = 240, AppTitle = "First"

' Colours are red + green * 256 + blue * 65536.
ClearScreen($602010)
REPEAT
  DrawRect(100, 60, 120, 80, $00E0FF)
  ShowScreen()
FOREVER
