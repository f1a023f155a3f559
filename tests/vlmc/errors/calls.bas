' Fails to translate: calls whose arguments do not fit the FUNCTION or SUB
' they name, and calls of what is no routine.
TYPE Point
  x
END TYPE
FUNCTION total(list[], BYREF n, BYREF s$, names$[], codes%[])
  RETURN 0
END FUNCTION
FUNCTION Size(p AS Point)
  RETURN 1
END FUNCTION
DIM nums[2]
DIM words$[2]
DIM pixels%[2]
DIM p AS Point
x = 1
t$ = "a"
e = total(x, x, t$, words$, pixels%)
f = total(nums, 1 + x, t$, words$, pixels%)
g = total(nums, x, x, words$, pixels%)
h = total(nums, pixels%[0], t$, nums, pixels%)
i = total(nums, x, t$, words$, nums)
l = total(words$, t$, t$, words$, pixels%)
j = size(p)
k = x(1)
