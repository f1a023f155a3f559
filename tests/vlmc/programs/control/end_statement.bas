' Suite program: END stops the program.
PRINT "before"
END
PRINT "after"
