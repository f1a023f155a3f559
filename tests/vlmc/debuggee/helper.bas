' Module 1 of the debugger test's debuggee: 29 statements that never run,
' then addTwice, whose first statement is statement 30 of the module, and
' the TYPE of the main program's records.
TYPE Tally
  count, label$
END TYPE

FUNCTION neverCalled()
  LOCAL k
  1  k = k + 1
  2  k = k + 2
  3  k = k + 3
  4  k = k + 4
  5  k = k + 5
  6  k = k + 6
  7  k = k + 7
  8  k = k + 8
  9  k = k + 9
 10  k = k + 10
 11  k = k + 11
 12  k = k + 12
 13  k = k + 13
 14  k = k + 14
 15  k = k + 15
 16  k = k + 16
 17  k = k + 17
 18  k = k + 18
 19  k = k + 19
 20  k = k + 20
 21  k = k + 21
 22  k = k + 22
 23  k = k + 23
 24  k = k + 24
 25  k = k + 25
 26  k = k + 26
 27  k = k + 27
 28  k = k + 28
 29  k = k + 29
END FUNCTION

FUNCTION addTwice(n)
  LOCAL twice, last AS Tally
 30  twice = n * 2
 31  last.count = twice
 32  RETURN twice
END FUNCTION
