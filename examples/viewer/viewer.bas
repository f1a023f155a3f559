' Viewer: object files on a turntable, the triangle under the mouse picked
' and highlighted.
'
' Every word of the command line that ends in ".xqo" (binary or text object
' files) or ".xqw" (scene files) is loaded into an object of its own; the
' objects stand in a row and the camera orbits them (the cursor keys turn it
' by hand). The ray under the mouse is tested against every object and the
' nearest triangle it meets is drawn over in yellow.
'
' Other words:
'   shader        draw the objects with the shader pair tint.vert/tint.frag
'   angle A       a fixed camera angle in degrees (no orbit)
'   pick X,Y      a fixed pointer position instead of the mouse
'   make FILE     build the sample gem, save it as FILE with SaveMesh, end
' The numbers in the left margin count the statements, as in polyvane.bas.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 0, Multisample = 0, FrameRate = 60, AppTitle = "Velmora viewer"

GLOBAL args$, count, angle, spin, shader, scripted, pickX, pickY
GLOBAL mx, my, mb1, mb2, hitObject, hitTriangle
GLOBAL ox[], tri[], hx[], hy[]

  1  args$ = CommandLineText()
  2  DIM ox[17]
  3  DIM hx[3]
  4  DIM hy[3]
  5  IF word$("make") <> ""
  6    makeGem(word$("make"))
  7    END
     ENDIF
  8  n = 1
  9  w$ = wordAt$(n)
 10  WHILE w$ <> ""
 11    e$ = LOWER$(RIGHT$(w$, 4))
 12    IF (e$ = ".xqo" OR e$ = ".xqw") AND count < 16
 13      count = count + 1
 14      LoadMesh(w$, count)
       ENDIF
 15    n = n + 1
 16    w$ = wordAt$(n)
     WEND
 17  FOR i = 1 TO count
 18    ox[i] = 25 * i - 12.5 * (count + 1)
     NEXT
 19  IF INSTR(args$ + " ", " shader ") > 0 THEN shader = LoadShader(1, "tint.vert", "tint.frag")
 20  spin = 1
 21  IF word$("angle") <> ""
 22    angle = VAL(word$("angle"))
 23    spin = 0
     ENDIF
 24  IF word$("pick") <> ""
 25    scripted = 1
 26    pickX = VAL(word$("pick"))
 27    pickY = VAL(MID$(word$("pick"), INSTR(word$("pick"), ",") + 1))
     ENDIF
 28  ClearScreen($403020)
     REPEAT
 29    IF spin = 1 THEN angle = angle + 0.5
 30    IF IsKeyDown(203) THEN angle = angle - 2
 31    IF IsKeyDown(205) THEN angle = angle + 2
 32    IF scripted = 1
 33      mx = pickX
 34      my = pickY
       ELSE
 35      GetMouseState(mx, my, mb1, mb2)
       ENDIF
 36    Begin3D(1, 1000, 45)
 37    SetCamera(60 * SIN(angle), 15, 60 * COS(angle), 0, 0, 0)
 38    SetCullMode(0)
 39    IF shader = 1 THEN UseShader(1)
 40    FOR i = 1 TO count
 41      SetMovementTranslation(ox[i], 0, 0)
 42      DrawMesh(i, 0)
       NEXT
 43    UseShader(-1)
 44    pickTriangle()
 45    End3D()
 46    IF hitObject > 0 THEN drawHighlight()
 47    IF hitObject > 0 THEN PrintText("object " + STR$(INT(hitObject)) + ", triangle " + STR$(INT(hitTriangle)), 10, 10, 1)
 48    IF count = 0 THEN PrintText("no object files on the command line", 10, 10, 1)
 49    ShowScreen()
     FOREVER

' The word after key$ on the command line, empty when key$ is not there.
FUNCTION word$(key$)
  LOCAL rest$, p, w$
 50  rest$ = args$ + " "
 51  WHILE LEN(rest$) > 0
 52    p = INSTR(rest$, " ")
 53    w$ = LEFT$(rest$, p - 1)
 54    rest$ = MID$(rest$, p + 1)
 55    IF w$ = key$
 56      p = INSTR(rest$, " ")
 57      RETURN LEFT$(rest$, p - 1)
       ENDIF
     WEND
 58  RETURN ""
END FUNCTION

' Word n of the command line (0: the program), empty past the last.
FUNCTION wordAt$(n)
  LOCAL rest$, p, k
 59  rest$ = args$ + " "
 60  FOR k = 1 TO n
 61    p = INSTR(rest$, " ")
 62    IF p = 0 THEN RETURN ""
 63    rest$ = MID$(rest$, p + 1)
     NEXT
 64  p = INSTR(rest$, " ")
 65  RETURN LEFT$(rest$, p - 1)
END FUNCTION

' An octahedron of eight flat triangles, red above and dark red below.
FUNCTION makeGem(f$)
  LOCAL k, a, y, col
 66  SetMeshNormalMode(1)
 67  BeginMesh(1)
 68  FOR k = 0 TO 7
 69    a = 90 * (k MOD 4)
 70    IF k < 4 THEN y = 12 ELSE y = -12
 71    IF k < 4 THEN col = $2020E0 ELSE col = $101090
 72    AddMeshVertex(0, y, 0, 0, 0, col)
 73    AddMeshVertex(10 * COS(a), 0, 10 * SIN(a), 0, 0, col)
 74    AddMeshVertex(10 * COS(a + 90), 0, 10 * SIN(a + 90), 0, 0, col)
 75    NewMeshStrip()
     NEXT
 76  EndMesh()
 77  SaveMesh(f$, 1)
END FUNCTION

' The nearest triangle on the ray under the pointer: its corners on the
' screen go to hx[] and hy[].
FUNCTION pickTriangle()
  LOCAL x0, y0, z0, x1, y1, z1, d, best, i, k, sx, sy, sz
 78  hitObject = 0
 79  IF UnprojectFromScreen(mx, my, 0, x0, y0, z0) = 0 THEN RETURN
 80  IF UnprojectFromScreen(mx, my, 1, x1, y1, z1) = 0 THEN RETURN
 81  FOR i = 1 TO count
 82    SetMovementTranslation(ox[i], 0, 0)
 83    d = RayCollision(i, 0, x0, y0, z0, x1 - x0, y1 - y0, z1 - z0)
 84    IF d > 0 AND (best = 0 OR d < best)
 85      best = d
 86      hitObject = i
 87      hitTriangle = GetHitTriangle()
       ENDIF
     NEXT
 88  IF hitObject = 0 THEN RETURN
 89  GetMeshTriangle(hitObject, 0, hitTriangle, tri)
 90  FOR k = 0 TO 2
 91    ProjectToScreen(tri[k, 0] + ox[hitObject], tri[k, 1], tri[k, 2], sx, sy, sz)
 92    hx[k] = sx
 93    hy[k] = sy
     NEXT
END FUNCTION

' The picked triangle, drawn over in yellow on the finished 3D frame.
FUNCTION drawHighlight()
  LOCAL k
 94  BeginPoly(-1, 1)
 95  FOR k = 0 TO 2
 96    AddPolyVertex(hx[k], hy[k], 0, 0, $00FFFF)
     NEXT
 97  EndPoly()
END FUNCTION
