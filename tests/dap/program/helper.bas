' The debug adapter's test program, module 1: routines to step into and out
' of, the frame loop and the bounds violation.
FUNCTION addUp(a, b)
  LOCAL sum
  sum = a + b                                  ' @sum
  sum = sum + twice(0)                         ' @sum-again
  RETURN sum                                   ' @return
END FUNCTION

FUNCTION twice(x)
  RETURN x * 2                                 ' @twice
END FUNCTION

FUNCTION frameLoop()
  REPEAT
    frames = frames + 1                        ' @frame
    ShowScreen()
  FOREVER
END FUNCTION

FUNCTION overrun(n)
  LOCAL i
  i = n
  grid[i, 0] = 1                               ' @overrun
END FUNCTION
