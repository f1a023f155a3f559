' Fails to translate: a misspelt PROJECT setting.
PROJECT ScreenWidht = 800
