' Suite program: PRINT's ',' moves to the next 14-column zone; a text
' appended to itself grows in place and keeps what it had.
PRINT "a", "b"; "c", 1
PRINT "abcdefghijklmnop", "x"
PRINT , "second zone"
PRINT "trailing",
PRINT "next"
s$ = ""
FOR i = 1 TO 5
  s$ = s$ + STR$(i) + ","
NEXT
s$ = s$ + s$
PRINT s$; " "; LEN(s$)
DIM parts$[2]
parts$[1] = "x"
parts$[1] = parts$[1] + "y" + parts$[1]
PRINT parts$[1]
