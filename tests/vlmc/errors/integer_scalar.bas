' Fails to translate: a name ending in % that is not an array.
GLOBAL n%
n% = 1
