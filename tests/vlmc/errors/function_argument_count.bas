' Fails to translate: a FUNCTION called with too few arguments.
FUNCTION area(w, h)
  RETURN w * h
END FUNCTION
PRINT area(3)
