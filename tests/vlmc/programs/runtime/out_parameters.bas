' Suite program: runtime operations writing into variables.
OpenFile(1, "numbers.txt", 0)
WriteLine(1, "42.5")
WriteLine(1, "second line")
CloseFile(1)
OpenFile(1, "numbers.txt", 1)
ReadNumberLine(1, x)
ReadLine(1, s$)
CloseFile(1)
PRINT x + 0.5
PRINT s$
