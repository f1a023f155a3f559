' Polyvane: a small 3D scene viewer.
'
' Module 0 of the program: the main program, showFPS and createFloor. The
' other shapes are module 1 (shapes.bas). The numbers in the left margin
' count the statements of the module; the line hook, the debugger and the
' END report in ErrorLog.txt name statements by them. Lines without a number
' (declarations, NEXT, ELSE, ENDIF, FOREVER, END FUNCTION) are not
' statements of their own. A FOR statement runs once per loop, not per pass.
'
' Scene file test.pvs, one value per line:
'   number of textures, then one file name per texture (folder media/);
'   number of objects, then 17 lines per object: type, an unused value,
'   rotation x y z, scale x y z, position x y z, colour red green blue,
'   texture number, texture tile size u, v.
' Object types: 0 none, 1 sphere, 2 box, 3 cone, 4 cylinder, 5 floor.
' A scene that is missing or ends early reads as zeros from there on; the
' texture loop stops where the file ends. A count that is not a finite number
' (NaN or infinity: only those give x - x <> 0) reads as 0, like a missing one.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 1, Multisample = 0, FrameRate = -1, AppTitle = "Polyvane"

GLOBAL z
GLOBAL orx[], ory[], orz[], opx[], opy[], opz[], osx[], osy[], osz[]
GLOBAL rc[], gc[], bc[], nt[], ot[]
GLOBAL test$, ktm, a$, nm, OSG, u, v, mx, my, mb1, mb2
GLOBAL g_frame, g_time, g_shwFPS

  1  SetScreenMode(1024, 768, 0)
  2  SetMeshTextureMode(1)
  3  z = 1000
  4  DIM orx[z]
  5  DIM ory[z]
  6  DIM orz[z]
  7  DIM opx[z]
  8  DIM opy[z]
  9  DIM opz[z]
 10  DIM osx[z]
 11  DIM osy[z]
 12  DIM osz[z]
 13  DIM rc[z]
 14  DIM gc[z]
 15  DIM bc[z]
 16  DIM nt[z]
 17  DIM ot[z]
 18  test$ = "test.pvs"
 19  OpenFile(1, test$, 1)
 20  IF EOF(1) THEN ktm = 0 ELSE ReadNumberLine(1, ktm)
 21  IF ktm - ktm <> 0 THEN ktm = 0
 22  FOR i = 1 TO ktm
 23    IF EOF(1) THEN EXIT FOR ELSE ReadLine(1, a$)
 24    LoadSprite("media/" + a$, i)
     NEXT
 25  IF EOF(1) THEN nm = 0 ELSE ReadNumberLine(1, nm)
 26  IF nm - nm <> 0 THEN nm = 0
 27  FOR i = 1 TO nm
 28    IF EOF(1) THEN ot[i] = 0 ELSE ReadNumberLine(1, ot[i])
 29    IF EOF(1) THEN OSG = 0 ELSE ReadNumberLine(1, OSG)
 30    IF EOF(1) THEN orx[i] = 0 ELSE ReadNumberLine(1, orx[i])
 31    IF EOF(1) THEN ory[i] = 0 ELSE ReadNumberLine(1, ory[i])
 32    IF EOF(1) THEN orz[i] = 0 ELSE ReadNumberLine(1, orz[i])
 33    IF EOF(1) THEN osx[i] = 0 ELSE ReadNumberLine(1, osx[i])
 34    IF EOF(1) THEN osy[i] = 0 ELSE ReadNumberLine(1, osy[i])
 35    IF EOF(1) THEN osz[i] = 0 ELSE ReadNumberLine(1, osz[i])
 36    IF EOF(1) THEN opx[i] = 0 ELSE ReadNumberLine(1, opx[i])
 37    IF EOF(1) THEN opy[i] = 0 ELSE ReadNumberLine(1, opy[i])
 38    IF EOF(1) THEN opz[i] = 0 ELSE ReadNumberLine(1, opz[i])
 39    IF EOF(1) THEN rc[i] = 0 ELSE ReadNumberLine(1, rc[i])
 40    IF EOF(1) THEN gc[i] = 0 ELSE ReadNumberLine(1, gc[i])
 41    IF EOF(1) THEN bc[i] = 0 ELSE ReadNumberLine(1, bc[i])
 42    IF EOF(1) THEN nt[i] = 0 ELSE ReadNumberLine(1, nt[i])
 43    IF EOF(1) THEN u = 0 ELSE ReadNumberLine(1, u)
 44    IF EOF(1) THEN v = 0 ELSE ReadNumberLine(1, v)
 45    u = 1 / u
 46    v = 1 / v
 47    IF ot[i] = 1 THEN createSphere(i, 5, 16, (rc[i] AND 255) + (gc[i] AND 255) * 256 + (bc[i] AND 255) * 65536, u, v)
 48    IF ot[i] = 2 THEN createBox(i, 10, (rc[i] AND 255) + (gc[i] AND 255) * 256 + (bc[i] AND 255) * 65536, u, v)
 49    IF ot[i] = 3 THEN createCylinder(i, 5, 0, 10, 10, 1, (rc[i] AND 255) + (gc[i] AND 255) * 256 + (bc[i] AND 255) * 65536, u, v)
 50    IF ot[i] = 4 THEN createCylinder(i, 5, 5, 10, 15, 1, (rc[i] AND 255) + (gc[i] AND 255) * 256 + (bc[i] AND 255) * 65536, u, v)
 51    IF ot[i] = 5 THEN createFloor(i, (rc[i] AND 255) + (gc[i] AND 255) * 256 + (bc[i] AND 255) * 65536, u, v)
     NEXT
 52  CloseFile(1)
 53  ClearScreen($FF8080)
     REPEAT
 54    Begin3D(10, 1600, 45)
 55    GetMouseState(mx, my, mb1, mb2)
 56    mx = mx * 360 / 640
 57    SetCamera(200 * SIN(mx), 2 * my - 100, 200 * COS(mx), 0, 0, 0)
 58    DrawAxes3D(0, 0, 0)
 59    SetFog($DE8000, 1, 0.00007, 0)
 60    SetCullMode(1)
 61    FOR i = 1 TO nm
 62      IF ot[i] <> 0
 63        SetMeshTextures(nt[i], -1)
 64        SetMovementTranslation(5 * opx[i], 5 * opy[i], 5 * opz[i])
 65        IF ot[i] = 4 THEN SetMovementScale(osx[i], osz[i], osy[i]) ELSE SetMovementScale(osx[i], osy[i], osz[i])
 66        IF ot[i] >= 3 AND ot[i] <= 4
 67          AddMovementRotation(90, orx[i] - 90, ory[i], orz[i])
           ELSEIF ot[i] = 5
 68          AddMovementRotation(0, orx[i], orz[i], ory[i])
           ELSE
 69          AddMovementRotation(90, orx[i], ory[i], orz[i])
           ENDIF
 70        DrawMesh(i, 0)
         ENDIF
       NEXT
 71    SetLight(-3, $400000, -110, 110, -110, 0, 0, 0, 360)
 72    FOR i = 1 TO nm
 73      IF ot[i] <> 0
 74        SetMeshTextures(nt[i], -1)
 75        SetMovementTranslation(5 * opx[i], 5 * opy[i], 5 * opz[i])
 76        IF ot[i] = 4 THEN SetMovementScale(osx[i], osz[i], osy[i]) ELSE SetMovementScale(osx[i], osy[i], osz[i])
 77        IF ot[i] >= 3 AND ot[i] <= 4
 78          AddMovementRotation(90, orx[i] - 90, ory[i], orz[i])
           ELSEIF ot[i] = 5
 79          AddMovementRotation(0, orx[i], orz[i], ory[i])
           ELSE
 80          AddMovementRotation(90, orx[i], ory[i], orz[i])
           ENDIF
 81        DrawMesh(i, 0)
         ENDIF
       NEXT
 82    End3D()
 83    showFPS()
 84    ShowScreen()
     FOREVER

FUNCTION showFPS()
  LOCAL delta_time, shwFPS
 85  delta_time = GetFrameDelta()
 86  g_frame = g_frame + 1
 87  g_time = g_time + delta_time
 88  IF g_time > 800
 89    g_shwFPS = g_frame / g_time * 1000
 90    g_time = 0
 91    g_frame = 0
     ENDIF
 92  SetAlphaMode(0)
 93  PrintText("FPS: " + STR$(INT(g_shwFPS)), 900, 10, 0)
END FUNCTION

FUNCTION createFloor(num, col, u, v)
 94  SetMeshNormalMode(1)
 95  BeginMesh(num)
 96  AddMeshVertex(-2, 0, -2, 0, 0, col)
 97  AddMeshVertex(2, 0, -2, u, 0, col)
 98  AddMeshVertex(-2, 0, 2, 0, v, col)
 99  AddMeshVertex(2, 0, 2, u, v, col)
100  EndMesh()
END FUNCTION
