' Suite program: DECLARE: a function of a shared library, and a missing entry.
DECLARE FUNCTION VlmAddNumbers(a, b) LIB "vlmdeclared.dll"
DECLARE FUNCTION Missing(a) LIB "vlmdeclared.dll" ALIAS "NoSuchEntry"
PRINT VlmAddNumbers(2.9, 40)
PRINT Missing(1)
