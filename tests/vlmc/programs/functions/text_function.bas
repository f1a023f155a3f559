' Suite program: a FUNCTION returning text.
FUNCTION greet$(name$)
  RETURN "Hi " + name$
END FUNCTION
PRINT greet$("Ann")
PRINT LEN(greet$(""))
