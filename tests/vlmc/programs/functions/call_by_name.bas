FUNCTION hello()
  PRINT "hello"
END FUNCTION
PRINT CallByName("hello")
PRINT CallByName("nobody")
