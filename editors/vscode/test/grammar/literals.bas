' SYNTAX TEST "source.velmora-basic" "numbers and texts"
a = 12 + 0.5 + .5 + 1e-3 + $FF8080
'   ^^ constant.numeric.decimal.velmora-basic
'        ^^^ constant.numeric.decimal.velmora-basic
'              ^^ constant.numeric.decimal.velmora-basic
'                   ^^^^ constant.numeric.decimal.velmora-basic
'                          ^^^^^^^ constant.numeric.hex.velmora-basic
t$ = "say ""hi"" ' not a comment" + "REM neither"
'    ^^^^^^^^^^^^^^^^^^^^^^^^^^^^ string.quoted.double.velmora-basic - comment.line.apostrophe.velmora-basic
'         ^^ constant.character.escape.quote.velmora-basic
'                                   ^^^^^^^^^^^^^ string.quoted.double.velmora-basic - comment.line.rem.velmora-basic
x2 = a2$ + b%[3]
' <-- variable.other.velmora-basic - constant.numeric.decimal.velmora-basic
'          ^^ variable.other.velmora-basic
