' Suite program: LEFT$, RIGHT$ and MID$ at and past the ends.
s$ = "Velmora"
PRINT LEFT$(s$, 3)
PRINT RIGHT$(s$, 4)
PRINT MID$(s$, 2, 3)
PRINT MID$(s$, 4)
PRINT "[" + LEFT$(s$, 0) + "]"
PRINT RIGHT$(s$, 20)
PRINT "[" + MID$(s$, 0, 2) + "]"
PRINT "[" + MID$(s$, 9) + "]"
