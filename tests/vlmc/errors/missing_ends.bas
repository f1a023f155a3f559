' Fails to translate: blocks without their ends, each closed by the end of
' the routine around it, and routines and TYPEs without theirs.
SUB a
  IF 1
END SUB
GLOBAL list[]
SUB b
  FOR EACH e IN list
END SUB
SUB c
  WHILE 1
END SUB
SUB d
  REPEAT
END SUB
SUB e
  DO
END SUB
SUB f
  SELECT CASE 1
END SUB
SUB g
END FUNCTION
FUNCTION h
SUB i
END SUB
TYPE Point
  x
SUB j
END SUB
