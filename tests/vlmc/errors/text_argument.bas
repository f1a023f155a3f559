' Fails to translate: a number passed where a runtime operation takes text.
LoadSprite(1, 2)
