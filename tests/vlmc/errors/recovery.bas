' Fails to translate: structural errors do not hide the others, a rejected
' assignment still declares its variable, and the messages come in line order.
total = 0
FOR i = 1 TO 3
  FOR j = 1 TO 2
    total = total + j
  NEXT i
NEXT
IF total = 1 PRINT total
count = (1 +
PRINT count + undefined
k = 0
WHILE k <
  k = k + 1
WEND
SELECT CASE
  CASE 1
    PRINT k$
END SELECT
FUNCTION f()
  RETURN nothing
END FUNCTION
