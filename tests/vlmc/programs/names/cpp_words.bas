' Suite program: variables named like C++ words and macros.
class = 1
new = 2
a$ = "text"
a_Str = 3
M_PI = 4
int = 5
PRINT class + new + a_Str + M_PI + int
PRINT a$
