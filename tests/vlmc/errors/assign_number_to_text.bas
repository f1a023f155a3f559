' Fails to translate: a number assigned to a text variable.
s$ = 5
