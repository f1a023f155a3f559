' Suite program: a LOCAL hides the GLOBAL of the same name.
GLOBAL counter
FUNCTION bump()
  counter = counter + 1
END FUNCTION
FUNCTION shadow()
  LOCAL counter
  counter = 99
  PRINT counter
END FUNCTION
bump()
bump
shadow()
PRINT counter
