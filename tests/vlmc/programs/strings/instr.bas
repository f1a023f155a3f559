' Suite program: INSTR with and without a start.
PRINT INSTR("banana", "an")
PRINT INSTR("banana", "an", 3)
PRINT INSTR("banana", "x")
PRINT INSTR("banana", "a", 7)
