' Fails to translate: calls of built-in functions and runtime operations
' with arguments they do not take.
TYPE Point
  x
END TYPE
DIM nums[2]
DIM words$[2]
DIM p AS Point
x = 1
t$ = "a"
a = LEN("a", "b")
b$ = MID$("abc")
c = LEN(p)
d = ASC(3)
m = COUNT(x) + COUNT(nums[0])
GetCameraMatrix(words$)
UpperInPlace("x")
n = ReadNumberLine(1, t$)
o = ReadNumberLine(1, new$) + ReadLine(1, other)
SetCamera(1, 2, 3, 4, 5, nothere)
