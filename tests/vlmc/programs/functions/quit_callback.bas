' Suite program: VLM_ON_QUIT runs when the program ends.
FUNCTION VLM_ON_QUIT()
  PRINT "quitting"
END FUNCTION
PRINT "main"
