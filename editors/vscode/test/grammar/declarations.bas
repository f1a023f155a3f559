' SYNTAX TEST "source.velmora-basic" "declarations, routines, types and labels"
PROJECT ScreenWidth = 640, AppTitle = "Demo"
' <------- keyword.other.velmora-basic
'       ^^^^^^^^^^^ variable.other.velmora-basic
'                                     ^^^^^^ string.quoted.double.velmora-basic
GLOBAL names$[], count
' <------ keyword.other.velmora-basic
'      ^^^^^^ variable.other.velmora-basic
CONST Limit = 10
' <----- keyword.other.velmora-basic
TYPE Point
' <---- storage.type.type.velmora-basic
'    ^^^^^ entity.name.type.velmora-basic
  x, y AS Inner
'      ^^ keyword.other.as.velmora-basic
'         ^^^^^ entity.name.type.velmora-basic
END TYPE
' <--- keyword.control.end.velmora-basic
'   ^^^^ storage.type.velmora-basic
FUNCTION Area(w, h)
' <-------- storage.type.function.velmora-basic
'        ^^^^ entity.name.function.velmora-basic
'            ^ punctuation.bracket.velmora-basic
'             ^ variable.other.velmora-basic
  LOCAL a
' ^^^^^ keyword.other.velmora-basic
  RETURN a
' ^^^^^^ keyword.control.velmora-basic
END FUNCTION
' <--- keyword.control.end.velmora-basic
sub Tick
' <--- storage.type.function.velmora-basic
'   ^^^^ entity.name.function.velmora-basic
DECLARE FUNCTION Beep(n) LIB "sound.dll" ALIAS "BeepA"
' <------- keyword.other.declare.velmora-basic
'                ^^^^ entity.name.function.velmora-basic
'                        ^^^ keyword.other.velmora-basic
'                                        ^^^^^ keyword.other.velmora-basic
again:
' <----- entity.name.label.velmora-basic
'    ^ punctuation.separator.label.velmora-basic
