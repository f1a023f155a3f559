' Suite program: WriteLog, Format and a result converted from bool.
WriteLog("hello from BASIC" + CHR$(10))
PRINT Format(8, 2, 3.14159)
PRINT FileExists("no/such/file.txt")
