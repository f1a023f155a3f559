' Suite program: END inside a FUNCTION: the END report names its statement.
PROJECT DebugMode = 1
FUNCTION stop()
  PRINT "stopping"
  END
END FUNCTION
PRINT "start"
stop()
