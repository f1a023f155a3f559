' Suite program: text comparisons.
IF "abc" < "abd" THEN PRINT "less"
IF "a" = "a" THEN PRINT "same"
x$ = "b"
IF x$ <> "a" THEN PRINT "differ" ELSE PRINT "equal"
IF x$ > "c" THEN PRINT "wrong"
