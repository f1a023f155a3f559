PROJECT DebugMode = 1
FUNCTION stop()
  PRINT "stopping"
  END
END FUNCTION
PRINT "start"
stop()
