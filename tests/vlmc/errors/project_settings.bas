' Fails to translate: PROJECT settings that are not constants or not of
' their kind.
GLOBAL width
PROJECT ScreenWidth = width, ScreenHeight = 2 * 240
PROJECT AppTitle = 3, FrameRate = "fast"
PROJECT HideMouse = shown
