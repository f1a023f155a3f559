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
' Each frame the scene (sky, ground, two additive glows, a half-transparent
' bubble and the animated player) is drawn into off-screen target 0 and then
' onto the screen; the target's sprite is drawn a quarter size in the top
' right corner as the minimap, inside a white frame. The score line is
' printed with the loaded font. Every 15 frames the blip plays, panned by
' the player's x: pan = (x / width) * 2 - 1. The music loops.
'
' Controls: the arrow keys or joystick 0 move the player. The command-line
' words "demo" (the player flies right 4 pixels a frame from (64, 300)) and
' "at X Y" (the player stays at X, Y) are the scripted modes the tests use.
'
' The numbers in the left margin count the statements of the module, as the
' line hook, the debugger and the END report name them.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 0, Multisample = 0, FrameRate = 60, AppTitle = "Arcade"

' pixels%[] and glyphs%[] hold picture elements for ArrayToSprite and
' SpriteToArray, which take integer arrays: a name ending in % makes one.
GLOBAL pixels%[], glyphs%[]
GLOBAL px, py, frame, anim, score, demo
GLOBAL folder$, command$, key$

  1  SetScreenMode(640, 480, 0)
  2  key$ = "TEMP"
  3  folder$ = PlatformInfo(key$)
  4  makeShip()
  5  makeGlow()
  6  makeBubble()
  7  makeFont(folder$ + "arcade_font.png")
  8  writeWave(folder$ + "arcade_blip.wav", 2646, 0)
  9  writeWave(folder$ + "arcade_music.wav", 22050, 1)
 10  LoadSound(folder$ + "arcade_blip.wav", 1, 4)
 11  PlayMusic(folder$ + "arcade_music.wav", 1)
 12  CreateScreen(0, 10, 640, 480)
 13  ClearScreen($402010)
 14  px = 304
 15  py = 300
 16  command$ = CommandLineText() + " "
 17  IF INSTR(command$, " demo ") > 0
 18    demo = 1
 19    px = 64
     ENDIF
 20  IF INSTR(command$, " at ") > 0
 21    command$ = MID$(command$, INSTR(command$, " at ") + 4, LEN(command$))
 22    px = VAL(wordOf$(command$, 1))
 23    py = VAL(wordOf$(command$, 2))
 24    demo = 2
     ENDIF
     REPEAT
 25    movePlayer()
 26    anim = INT(frame / 6) MOD 4
 27    IF frame MOD 15 = 0 THEN PlaySound(1, ((px + 16) / 640) * 2 - 1, 1)
 28    UseScreen(0)
 29    drawScene()
 30    UseScreen(-1)
 31    drawScene()
 32    SetAlphaMode(0)
 33    DrawRect(470, 6, 164, 124, $FFFFFF)
 34    StretchSprite(10, 472, 8, 160, 120)
 35    SetFont(1)
 36    score = frame * 10
 37    PrintText("SCORE " + STR$(score), 20, 440, 0)
 38    ShowScreen()
 39    frame = frame + 1
     FOREVER

' The player moves by the scripted path, or by the arrow keys and joystick 0,
' and stays on the screen.
FUNCTION movePlayer()
 40  IF demo = 1
 41    px = 64 + 4 * frame
     ELSEIF demo = 0
 42    IF IsKeyDown(203) THEN px = px - 4
 43    IF IsKeyDown(205) THEN px = px + 4
 44    IF IsKeyDown(200) THEN py = py - 4
 45    IF IsKeyDown(208) THEN py = py + 4
 46    IF GetJoystickCount() > 0
 47      px = px + 4 * JoystickX(0)
 48      py = py + 4 * JoystickY(0)
       ENDIF
     ENDIF
 49  IF px < 0 THEN px = 0
 50  IF px > 608 THEN px = 608
 51  IF py < 0 THEN py = 0
 52  IF py > 448 THEN py = 448
END FUNCTION

' The scene, into whatever is being drawn to: the sky, the ground, two glows
' added to what is under them, the bubble blended at half transparency over
' the ground and the sky, and the player's animation frame.
FUNCTION drawScene()
 53  SetAlphaMode(0)
 54  DrawRect(0, 0, 640, 480, $402010)
 55  DrawRect(0, 400, 640, 80, $205020)
 56  SetAlphaMode(1)
 57  DrawSprite(2, 100, 100)
 58  DrawSprite(2, 132, 100)
 59  SetAlphaMode(-0.5)
 60  DrawSprite(3, 400, 360)
 61  SetAlphaMode(0)
 62  DrawAnim(1, anim, px, py)
END FUNCTION

' Sprite 1: four 32 x 32 frames side by side. The hull (rows 4-23, widening
' downwards) is green in every frame; the flame below it (rows 24-31, columns
' 11-20) is red, orange, yellow and white in frames 0-3.
FUNCTION makeShip()
  LOCAL x, y, f, colour
 63  DIM pixels%[128 * 32]
 64  FOR y = 0 TO 31
 65    FOR x = 0 TO 127
 66      f = INT(x / 32)
 67      colour = 0
 68      IF y >= 4 AND y < 24 AND (x MOD 32) > 12 - (y - 4) / 2 AND (x MOD 32) < 20 + (y - 4) / 2 THEN colour = argb($30E030, 255)
 69      IF y >= 24 AND (x MOD 32) >= 11 AND (x MOD 32) < 21 THEN colour = argb(flameColour(f), 255)
 70      pixels%[x + y * 128] = colour
       NEXT
     NEXT
 71  ArrayToSprite(pixels%, 1, 128, 32)
 72  SetSpriteAnim(1, 32, 32)
END FUNCTION

FUNCTION flameColour(f)
 73  SELECT CASE f
       CASE 0
 74      RETURN $0028FF
       CASE 1
 75      RETURN $008CFF
       CASE 2
 76      RETURN $00E6FF
     END SELECT
 77  RETURN $FFFFFF
END FUNCTION

' Sprite 2: an orange glow, 64 x 64, whose alpha falls off from the centre.
FUNCTION makeGlow()
  LOCAL x, y, d, a
 78  DIM pixels%[64 * 64]
 79  FOR y = 0 TO 63
 80    FOR x = 0 TO 63
 81      d = Sqrt((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5))
 82      a = 0
 83      IF d < 32 THEN a = INT(255 * (1 - d / 32))
 84      pixels%[x + y * 64] = argb($2080FF, a)
       NEXT
     NEXT
 85  ArrayToSprite(pixels%, 2, 64, 64)
END FUNCTION

' Sprite 3: a white disc of diameter 64, opaque inside, transparent outside.
FUNCTION makeBubble()
  LOCAL x, y
 86  DIM pixels%[64 * 64]
 87  FOR y = 0 TO 63
 88    FOR x = 0 TO 63
 89      IF (x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5) < 1024 THEN pixels%[x + y * 64] = argb($FFFFFF, 255) ELSE pixels%[x + y * 64] = 0
       NEXT
     NEXT
 90  ArrayToSprite(pixels%, 3, 64, 64)
END FUNCTION

' Font 1: the built-in font's codes 32-127 printed into target 1 (128 x 64,
' 8 x 8 cells), read back, every pixel doubled; lit pixels become gold in
' the upper half of a cell and orange in the lower half, the outline a dark
' grey, the rest black, which is the font's transparent colour.
FUNCTION makeFont(file$)
  LOCAL row, col, x, y, line$, source
 91  CreateScreen(1, 20, 128, 64)
 92  UseScreen(1)
 93  SetFont(0)
 94  FOR row = 2 TO 7
 95    line$ = ""
 96    FOR col = 0 TO 15
 97      line$ = line$ + CHR$(row * 16 + col)
       NEXT
 98    PrintText(line$, 0, row * 8, 0)
     NEXT
 99  UseScreen(-1)
100  SpriteToArray(glyphs%, 20)
101  DIM pixels%[256 * 128]
102  FOR y = 0 TO 127
103    FOR x = 0 TO 255
104      source = glyphs%[INT(x / 2) + INT(y / 2) * 128] AND 255
105      IF source > 128
106        IF (y MOD 16) < 8 THEN pixels%[x + y * 256] = argb($40E0FF, 255) ELSE pixels%[x + y * 256] = argb($2080FF, 255)
         ELSEIF source > 0
107        pixels%[x + y * 256] = argb($202020, 255)
         ELSE
108        pixels%[x + y * 256] = 0
         ENDIF
       NEXT
     NEXT
109  ArrayToSprite(pixels%, 21, 256, 128)
110  SaveSprite(file$, 21)
111  DeleteSprite(21)
112  LoadFont(file$, 1)
END FUNCTION

' A mono 16-bit WAVE file of count samples at 22050 per second. Kind 0: the
' blip, a falling square tone; kind 1: the music, a soft arpeggio of four
' notes, a quarter of a second each.
FUNCTION writeWave(file$, count, kind)
  LOCAL k, freq, level
113  OpenFile(1, file$, 0)
114  WriteString(1, "RIFF")
115  WriteUInt32(1, 36 + count * 2)
116  WriteString(1, "WAVEfmt ")
117  WriteUInt32(1, 16)
118  WriteUInt16(1, 1)
119  WriteUInt16(1, 1)
120  WriteUInt32(1, 22050)
121  WriteUInt32(1, 44100)
122  WriteUInt16(1, 2)
123  WriteUInt16(1, 16)
124  WriteString(1, "data")
125  WriteUInt32(1, count * 2)
126  FOR k = 0 TO count - 1
127    IF kind = 0
128      freq = 1200 - k / 4
129      IF SIN(360 * freq * k / 22050) >= 0 THEN level = 12000 ELSE level = -12000
         ELSE
130      freq = noteFrequency(INT(k / 5512.5))
131      level = INT(3000 * SIN(360 * freq * k / 22050))
         ENDIF
132    WriteInt16(1, level)
     NEXT
133  CloseFile(1)
END FUNCTION

' The arpeggio's notes in hertz: about A4, C#5, E5 and A5.
FUNCTION noteFrequency(n)
134  SELECT CASE n
       CASE 0
135     RETURN 440
       CASE 1
136     RETURN 556
       CASE 2
137     RETURN 660
     END SELECT
138  RETURN 880
END FUNCTION

' A picture element: colour rgb with alpha a in the top byte, as the signed
' 32-bit integer a pixel array holds (alpha 128 and above make it negative).
FUNCTION argb(rgb, a)
139  IF a >= 128 THEN RETURN rgb + (a - 256) * 16777216
140  RETURN rgb + a * 16777216
END FUNCTION

' The n-th word (1 first) of a text of words separated by blanks; empty when
' there are fewer.
FUNCTION wordOf$(words$, n)
  LOCAL k, count, word$
141  FOR k = 1 TO LEN(words$)
142    IF MID$(words$, k, 1) = " "
143      IF word$ <> ""
144        count = count + 1
145        IF count = n THEN RETURN word$
146        word$ = ""
         ENDIF
       ELSE
147      word$ = word$ + MID$(words$, k, 1)
       ENDIF
     NEXT
148  IF word$ <> "" AND count + 1 = n THEN RETURN word$
149  RETURN ""
END FUNCTION
