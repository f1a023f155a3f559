' SYNTAX TEST "source.velmora-basic" "statements, calls, operators and comments"
10 FOR i = 1 TO n STEP 2
' <-- constant.numeric.margin.velmora-basic
'  ^^^ keyword.control.velmora-basic
'      ^ variable.other.velmora-basic
'            ^^ keyword.control.velmora-basic
'                 ^^^^ keyword.control.velmora-basic
  IF a <> b AND NOT c THEN PRINT "x"; ELSE EXIT FOR
' ^^ keyword.control.velmora-basic
'      ^^ keyword.operator.comparison.velmora-basic
'           ^^^ keyword.operator.word.velmora-basic
'               ^^^ keyword.operator.word.velmora-basic
'                     ^^^^ keyword.control.velmora-basic
'                          ^^^^^ keyword.other.statement.velmora-basic
'                                   ^ punctuation.separator.velmora-basic
'                                     ^^^^ keyword.control.velmora-basic
  DrawRect(x, y, 10, 10, $00E0FF)
' ^^^^^^^^ entity.name.function.call.velmora-basic
'                        ^^^^^^^ constant.numeric.hex.velmora-basic
  s$ = MID$(t$, 2) + STR$(INT(v / 2))
' ^^ variable.other.velmora-basic
'      ^^^^ support.function.builtin.velmora-basic
'                    ^^^^ support.function.builtin.velmora-basic
'                         ^^^ support.function.builtin.velmora-basic
'                               ^ keyword.operator.velmora-basic
  p.pos.x = pts[k].x MOD 3 ' the rest: a comment
'  ^ punctuation.accessor.velmora-basic
'   ^^^ variable.other.member.velmora-basic
'                    ^^^ keyword.operator.word.velmora-basic
'                          ^^^^^^^^^^^^^^^^^^^^^ comment.line.apostrophe.velmora-basic
NEXT
' <---- keyword.control.velmora-basic
REM a comment of the old kind
' <--------------------------- comment.line.rem.velmora-basic
remainder = 1
' <--------- variable.other.velmora-basic - comment.line.rem.velmora-basic
endless = Forever2 + ifs
' <------- variable.other.velmora-basic - keyword.control.velmora-basic
'                    ^^^ variable.other.velmora-basic - keyword.control.velmora-basic
