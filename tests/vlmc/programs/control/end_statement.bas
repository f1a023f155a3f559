PRINT "before"
END
PRINT "after"
