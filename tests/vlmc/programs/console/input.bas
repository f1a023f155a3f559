' Suite program: INPUT reads lines of standard input (console.in): text,
' numbers (as VAL reads them), a prompt; at the end of the input it gives
' empty text and error 20, and the program goes on.
INPUT name$
INPUT "age? "; age
PRINT "hello "; name$; ", "; age + 1
DIM v[2]
INPUT v[0], v[1]
PRINT v[0] * v[1]; " "; ERR()
INPUT last$
PRINT "["; last$; "] "; ERR()
INPUT after$
PRINT "["; after$; "] "; ERR()
