' Fails to translate: EXIT FOR inside a WHILE loop only.
WHILE 1
  EXIT FOR
WEND
