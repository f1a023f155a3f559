' Fails to translate: declarations that do not parse: DECLARE without its
' library, declarations inside blocks, numbers on lines that are no
' statements, and reserved words as names.
DECLARE FUNCTION Beep(n)
DECLARE FUNCTION Tone(n) LIB sound
DECLARE FUNCTION Hum(n) LIB "sound.dll" ALIAS hum
  4  GLOBAL g
WHILE 1
  CONST C = 1
WEND
GLOBAL WEND
FUNCTION f(NEXT)
END FUNCTION
