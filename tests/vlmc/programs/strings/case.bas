' Suite program: UPPER$ and LOWER$.
PRINT UPPER$("abc1")
PRINT LOWER$("MiXeD")
