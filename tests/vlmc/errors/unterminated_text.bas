PRINT "open
