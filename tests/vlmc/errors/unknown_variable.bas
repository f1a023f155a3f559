' Fails to translate: a misspelt parameter inside a FUNCTION.
FUNCTION f(count)
  PRINT cuont
END FUNCTION
