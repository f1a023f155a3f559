' Fails to translate: a statement number in the margin that disagrees with the count.
  1  x = 1
  3  y = 2
