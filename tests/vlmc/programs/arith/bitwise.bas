' Suite program: AND and OR on whole numbers.
PRINT 12 AND 10
PRINT 12 OR 3
PRINT (300 AND 255) + 1
PRINT 255.9 AND 15.5
