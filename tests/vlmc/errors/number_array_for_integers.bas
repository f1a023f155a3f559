' Fails to translate: a number array given where an operation fills an integer array.
DIM p[4]
SpriteToArray(p, 1)
