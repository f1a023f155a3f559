' Suite program: numeric runtime operations called by name.
PRINT Pow(2, 10)
PRINT FMod(7.5, 2)
PRINT IntMod(-7, 3)
PRINT IntMod(7.9, 3.9)
PRINT Sqrt(2)
