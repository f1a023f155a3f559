PRINT "say ""hi"""
PRINT "a";
PRINT "b"
PRINT "n = "; 4
PRINT
