' Suite program: PRINT with quotes, ; and an empty line.
PRINT "say ""hi"""
PRINT "a";
PRINT "b"
PRINT "n = "; 4
PRINT
