' Fails to translate: numbers out of range, hexadecimal numbers without
' digits or with more than sixteen (sixteen are taken), and characters other BASICs use.
a = 1e400
b = $ + 1
c = $123456789ABCDEF01
g = $123456789ABCDEF0
d = &HFF
e# = 2
? "hello"
f = 3 @ 4
