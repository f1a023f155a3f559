' Suite program: CallByName finds parameterless routines.
FUNCTION hello()
  PRINT "hello"
END FUNCTION
PRINT CallByName("hello")
PRINT CallByName("nobody")
