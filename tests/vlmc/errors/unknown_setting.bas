PROJECT ScreenWidht = 800
