LoadSprite(1, 2)
