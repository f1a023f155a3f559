FUNCTION area(w, h)
  RETURN w * h
END FUNCTION
PRINT area(3)
