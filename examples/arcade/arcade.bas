' Arcade: a 2D game screen.
'
' Everything the screen shows and plays is made by the program at start, in
' the temporary folder: the player's sprite sheet (four frames of a ship
' whose engine flame changes colour), a glow and a bubble sprite, a bitmap
' font (the built-in font drawn into an off-screen target, read back,
' recoloured gold, doubled to 16 x 16 cells, saved as a PNG picture and
' loaded with LoadFont), a blip sound effect and a music loop (WAVE files
' written sample by sample).
'
' Each frame the scene (sky, ground, the sprites placed on it: two additive
' glows and a half-transparent bubble, then the animated player) is drawn
' into off-screen target 0 and then onto the screen; the target's sprite is
' drawn a quarter size in the top right corner as the minimap, inside a
' white frame. The score line is printed with the loaded font. Every 15
' frames the blip plays, panned by the player's x: pan = (x / width) * 2 - 1.
' The music loops.
'
' The player is a record (TYPE Player); the sprites on the scene are an
' array of records read from DATA and drawn with FOR EACH, as are the flame
' colours and the arpeggio's notes.
'
' Controls: the arrow keys or joystick 0 move the player. The command-line
' words "demo" (the player flies right 4 pixels a frame from (64, 300)) and
' "at X Y" (the player stays at X, Y) are the scripted modes the tests use.
'
' The numbers in the left margin count the statements of the module, as the
' line hook, the debugger and the END report name them.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 0, Multisample = 0, FrameRate = 60, AppTitle = "Arcade"

CONST WIDTH = 640, HEIGHT = 480, STEP_SIZE = 4

' The ship: where it is, and the animation frame it shows.
TYPE Player
  x, y
  anim
END TYPE

' A sprite drawn on the scene at (x, y) in an alpha mode (SetAlphaMode).
TYPE Placed
  sprite, x, y
  alpha
END TYPE

' pixels%[] and glyphs%[] hold picture elements for ArrayToSprite and
' SpriteToArray, which take integer arrays: a name ending in % makes one.
GLOBAL pixels%[], glyphs%[]
GLOBAL player AS Player, scene[] AS Placed, flames[], notes[]
GLOBAL frame, score, demo
GLOBAL folder$, command$, key$

' The flame's colour in animation frames 0-3: red, orange, yellow, white.
flameData:
DATA $0028FF, $008CFF, $00E6FF, $FFFFFF
' The arpeggio's notes in hertz: about A4, C#5, E5 and A5.
noteData:
DATA 440, 556, 660, 880
' The sprites on the scene: sprite, x, y, alpha mode. Two orange glows added
' to what is under them, and the white bubble blended at half transparency.
sceneData:
DATA 2, 100, 100, 1
DATA 2, 132, 100, 1
DATA 3, 400, 360, -0.5

  1  SetScreenMode(WIDTH, HEIGHT, 0)
  2  readTables()
  3  key$ = "TEMP"
  4  folder$ = PlatformInfo(key$)
  5  makeShip()
  6  makeGlow()
  7  makeBubble()
  8  makeFont(folder$ + "arcade_font.png")
  9  writeWave(folder$ + "arcade_blip.wav", 2646, 0)
 10  writeWave(folder$ + "arcade_music.wav", 22050, 1)
 11  LoadSound(folder$ + "arcade_blip.wav", 1, 4)
 12  PlayMusic(folder$ + "arcade_music.wav", 1)
 13  CreateScreen(0, 10, WIDTH, HEIGHT)
 14  ClearScreen($402010)
 15  player.x = 304
 16  player.y = 300
 17  command$ = CommandLineText() + " "
 18  IF INSTR(command$, " demo ") > 0
 19    demo = 1
 20    player.x = 64
     ENDIF
 21  IF INSTR(command$, " at ") > 0
 22    command$ = MID$(command$, INSTR(command$, " at ") + 4, LEN(command$))
 23    player.x = VAL(wordOf$(command$, 1))
 24    player.y = VAL(wordOf$(command$, 2))
 25    demo = 2
     ENDIF
     DO
 26    movePlayer(player)
 27    player.anim = INT(frame / 6) MOD 4
 28    IF frame MOD 15 = 0 THEN PlaySound(1, ((player.x + 16) / WIDTH) * 2 - 1, 1)
 29    UseScreen(0)
 30    drawScene()
 31    UseScreen(-1)
 32    drawScene()
 33    SetAlphaMode(0)
 34    DrawRect(470, 6, 164, 124, $FFFFFF)
 35    StretchSprite(10, 472, 8, 160, 120)
 36    SetFont(1)
 37    score = frame * 10
 38    PrintText("SCORE " + STR$(score), 20, 440, 0)
 39    ShowScreen()
 40    frame = frame + 1
     LOOP

' The flame colours, the notes and the scene's sprites, from the DATA lines.
SUB readTables
  LOCAL k, value, placed AS Placed
 41  RESTORE flameData
 42  FOR k = 1 TO 4
 43    READ value
 44    APPEND flames, value
     NEXT
 45  RESTORE noteData
 46  FOR k = 1 TO 4
 47    READ value
 48    APPEND notes, value
     NEXT
 49  RESTORE sceneData
 50  FOR k = 1 TO 3
 51    READ placed.sprite, placed.x, placed.y, placed.alpha
 52    APPEND scene, placed
     NEXT
END SUB

' The player moves by the scripted path, or by the arrow keys and joystick 0,
' and stays on the screen.
SUB movePlayer(p AS Player)
 53  IF demo = 1
 54    p.x = 64 + STEP_SIZE * frame
     ELSEIF demo = 0
 55    IF IsKeyDown(203) THEN p.x = p.x - STEP_SIZE
 56    IF IsKeyDown(205) THEN p.x = p.x + STEP_SIZE
 57    IF IsKeyDown(200) THEN p.y = p.y - STEP_SIZE
 58    IF IsKeyDown(208) THEN p.y = p.y + STEP_SIZE
 59    IF GetJoystickCount() > 0
 60      p.x = p.x + STEP_SIZE * JoystickX(0)
 61      p.y = p.y + STEP_SIZE * JoystickY(0)
       ENDIF
     ENDIF
 62  p.x = MAX(0, MIN(p.x, WIDTH - 32))
 63  p.y = MAX(0, MIN(p.y, HEIGHT - 32))
END SUB

' The scene, into whatever is being drawn to: the sky, the ground, the
' sprites placed on it, and the player's animation frame.
SUB drawScene
 64  SetAlphaMode(0)
 65  DrawRect(0, 0, WIDTH, HEIGHT, $402010)
 66  DrawRect(0, 400, WIDTH, 80, $205020)
 67  FOR EACH placed IN scene
 68    SetAlphaMode(placed.alpha)
 69    DrawSprite(placed.sprite, placed.x, placed.y)
     NEXT
 70  SetAlphaMode(0)
 71  DrawAnim(1, player.anim, player.x, player.y)
END SUB

' Sprite 1: four 32 x 32 frames side by side. The hull (rows 4-23, widening
' downwards) is green in every frame; the flame below it (rows 24-31, columns
' 11-20) has the colour of its frame.
SUB makeShip
  LOCAL x, y, f, colour
 72  DIM pixels%[128 * 32]
 73  FOR y = 0 TO 31
 74    FOR x = 0 TO 127
 75      f = x \ 32
 76      colour = 0
 77      IF y >= 4 AND y < 24 AND (x MOD 32) > 12 - (y - 4) / 2 AND (x MOD 32) < 20 + (y - 4) / 2 THEN colour = argb($30E030, 255)
 78      IF y >= 24 AND (x MOD 32) >= 11 AND (x MOD 32) < 21 THEN colour = argb(flames[f], 255)
 79      pixels%[x + y * 128] = colour
       NEXT
     NEXT
 80  ArrayToSprite(pixels%, 1, 128, 32)
 81  SetSpriteAnim(1, 32, 32)
END SUB

' Sprite 2: an orange glow, 64 x 64, whose alpha falls off from the centre.
SUB makeGlow
  LOCAL x, y, d, a
 82  DIM pixels%[64 * 64]
 83  FOR y = 0 TO 63
 84    FOR x = 0 TO 63
 85      d = Sqrt((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5))
 86      a = 0
 87      IF d < 32 THEN a = INT(255 * (1 - d / 32))
 88      pixels%[x + y * 64] = argb($2080FF, a)
       NEXT
     NEXT
 89  ArrayToSprite(pixels%, 2, 64, 64)
END SUB

' Sprite 3: a white disc of diameter 64, opaque inside, transparent outside.
SUB makeBubble
  LOCAL x, y
 90  DIM pixels%[64 * 64]
 91  FOR y = 0 TO 63
 92    FOR x = 0 TO 63
 93      IF (x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5) < 1024 THEN pixels%[x + y * 64] = argb($FFFFFF, 255) ELSE pixels%[x + y * 64] = 0
       NEXT
     NEXT
 94  ArrayToSprite(pixels%, 3, 64, 64)
END SUB

' Font 1: the built-in font's codes 32-127 printed into target 1 (128 x 64,
' 8 x 8 cells), read back, every pixel doubled; lit pixels become gold in
' the upper half of a cell and orange in the lower half, the outline a dark
' grey, the rest black, which is the font's transparent colour.
SUB makeFont(file$)
  LOCAL row, col, x, y, line$, source
 95  CreateScreen(1, 20, 128, 64)
 96  UseScreen(1)
 97  SetFont(0)
 98  FOR row = 2 TO 7
 99    line$ = ""
100    FOR col = 0 TO 15
101      line$ = line$ + CHR$(row * 16 + col)
       NEXT
102    PrintText(line$, 0, row * 8, 0)
     NEXT
103  UseScreen(-1)
104  SpriteToArray(glyphs%, 20)
105  DIM pixels%[256 * 128]
106  FOR y = 0 TO 127
107    FOR x = 0 TO 255
108      source = glyphs%[x \ 2 + (y \ 2) * 128] AND 255
109      IF source > 128
110        IF (y MOD 16) < 8 THEN pixels%[x + y * 256] = argb($40E0FF, 255) ELSE pixels%[x + y * 256] = argb($2080FF, 255)
         ELSEIF source > 0
111        pixels%[x + y * 256] = argb($202020, 255)
         ELSE
112        pixels%[x + y * 256] = 0
         ENDIF
       NEXT
     NEXT
113  ArrayToSprite(pixels%, 21, 256, 128)
114  SaveSprite(file$, 21)
115  DeleteSprite(21)
116  LoadFont(file$, 1)
END SUB

' A mono 16-bit WAVE file of count samples at 22050 per second. Kind 0: the
' blip, a falling square tone; kind 1: the music, the arpeggio of the four
' notes, a quarter of a second each.
SUB writeWave(file$, count, kind)
  LOCAL k, freq, level
117  OpenFile(1, file$, 0)
118  WriteString(1, "RIFF")
119  WriteUInt32(1, 36 + count * 2)
120  WriteString(1, "WAVEfmt ")
121  WriteUInt32(1, 16)
122  WriteUInt16(1, 1)
123  WriteUInt16(1, 1)
124  WriteUInt32(1, 22050)
125  WriteUInt32(1, 44100)
126  WriteUInt16(1, 2)
127  WriteUInt16(1, 16)
128  WriteString(1, "data")
129  WriteUInt32(1, count * 2)
130  FOR k = 0 TO count - 1
131    IF kind = 0
132      freq = 1200 - k / 4
133      IF SIN(360 * freq * k / 22050) >= 0 THEN level = 12000 ELSE level = -12000
         ELSE
134      freq = notes[INT(k / 5512.5)]
135      level = INT(3000 * SIN(360 * freq * k / 22050))
         ENDIF
136    WriteInt16(1, level)
     NEXT
137  CloseFile(1)
END SUB

' A picture element: colour rgb with alpha a in the top byte, as the signed
' 32-bit integer a pixel array holds (alpha 128 and above make it negative).
FUNCTION argb(rgb, a)
138  IF a >= 128 THEN RETURN rgb + (a - 256) * 16777216
139  RETURN rgb + a * 16777216
END FUNCTION

' The n-th word (1 first) of a text of words separated by blanks; empty when
' there are fewer.
FUNCTION wordOf$(words$, n)
  LOCAL k, count, word$
140  FOR k = 1 TO LEN(words$)
141    IF MID$(words$, k, 1) = " "
142      IF word$ <> ""
143        count = count + 1
144        IF count = n THEN RETURN word$
145        word$ = ""
         ENDIF
       ELSE
146      word$ = word$ + MID$(words$, k, 1)
       ENDIF
     NEXT
147  IF word$ <> "" AND count + 1 = n THEN RETURN word$
148  RETURN ""
END FUNCTION
