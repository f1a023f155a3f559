' Suite program: $ hexadecimal literals.
PRINT $FF
PRINT $10 + 1
PRINT $ff8080
