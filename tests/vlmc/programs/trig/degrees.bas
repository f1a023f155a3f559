' Suite program: degree trigonometry and SQR.
PRINT SIN(90)
PRINT COS(180)
PRINT ACOS(0)
PRINT ATAN2(1, 1)
PRINT TAN(45)
PRINT SQR(16)
