' Fails to translate: text and a number added.
a$ = "n" + 1
