' Suite program: a FUNCTION called before its definition, with a local array.
PRINT total(4)
FUNCTION total(n)
  LOCAL a[], k, sum
  DIM a[n]
  FOR k = 0 TO n - 1
    a[k] = k * 10
  NEXT
  FOR k = 0 TO n - 1
    sum = sum + a[k]
  NEXT
  RETURN sum
END FUNCTION
