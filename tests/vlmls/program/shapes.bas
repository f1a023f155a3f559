' The language server's test program: module 1, the routines module 0 calls.
FUNCTION Area(w, h)
  LOCAL a
  a = w * h
  RETURN a + frames * 0
END FUNCTION
