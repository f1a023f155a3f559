' Chat: players of several processes on one screen, a chat box and an HTTP
' download with a progress bar.
'
' One process hosts a session, the others join it. Each process creates one
' player, whose square moves with the cursor keys; its position goes to every
' other player as a session message, and lines typed (Return sends) go to
' everybody and show in the chat box. With "get URL" the program downloads
' the file over HTTP/1.0 with the socket operations, one piece a frame, shows
' the progress in a bar, then the picture (or only its size).
'
' Command line words, in any order:
'   join ADDRESS   join the session at ADDRESS (without it: host one)
'   port N         the session's port (default 27910)
'   name TEXT      the player's name (default "Player")
'   demo K         scripted player K (1..6, also its colour): moves along its
'                  path in the first 50 frames, says hello once it has seen
'                  "expect" players, and lists the chat lines it receives in
'                  "received.txt"
'   expect N       players of the scripted session (default 3)
'   get URL        http://server[:port]/path of the file to download
'
' Session messages, fields separated by "|":
'   P|colour|x|y|name     a player's position
'   C|colour|name|text    a chat line
' The numbers in the left margin count the statements, as in polyvane.bas.

PROJECT ScreenWidth = 640, ScreenHeight = 480, FullScreen = 0, DebugMode = 1
PROJECT HideMouse = 0, Multisample = 0, FrameRate = 30, AppTitle = "Velmora chat"

GLOBAL args$, host$, myName$, port, me, myColour, myX, myY, frame, demo, expect, hello, online
GLOBAL px[], py[], seen[], colours[], names$[], lines$[], typed$
GLOBAL url$, server$, path$, httpPort, sock, httpState, head$, total, got, fileName$, picture

  1  args$ = CommandLineText()
' Networking started by the program itself: a session reset (JoinSession
' does one) then only ends the session's own share, and the download's socket
' stays open.
  2  NetStart()
  3  DIM px[7]
  4  DIM py[7]
  5  DIM seen[7]
  6  DIM colours[7]
  7  DIM names$[7]
  8  DIM lines$[7]
  9  colours[1] = $4040FF
 10  colours[2] = $40FF40
 11  colours[3] = $FF8040
 12  colours[4] = $40FFFF
 13  colours[5] = $FF40FF
 14  colours[6] = $FFFF40
 15  port = VAL(word$("port"))
 16  IF port <= 0 THEN port = 27910
 17  demo = VAL(word$("demo"))
 18  IF demo < 0 OR demo > 6 THEN demo = 0
 19  expect = VAL(word$("expect"))
 20  IF expect < 2 THEN expect = 3
 21  myName$ = word$("name")
 22  IF myName$ = "" THEN myName$ = "Player"
 23  host$ = word$("join")
 24  IF host$ = "" THEN online = HostSession(port)
 25  url$ = word$("get")
 26  IF url$ <> "" THEN startDownload()
 27  IF demo > 0
 28    OpenFile(1, "received.txt", 0)
 29    CloseFile(1)
     ENDIF
 30  ClearScreen($302010)
     REPEAT
 31    frame = frame + 1
 32    IF online = 0 AND host$ <> "" AND frame MOD 15 = 1 THEN online = JoinSession(host$, port)
 33    IF online = 1 AND me = 0
 34      me = CreatePlayer(myName$)
 35      IF demo > 0 THEN myColour = demo ELSE myColour = me MOD 6 + 1
 36      IF demo = 0 THEN myX = 80 * myColour
 37      IF demo = 0 THEN myY = 150
       ENDIF
 38    movePlayer()
 39    IF me > 0 AND (frame <= 50 OR frame MOD 10 = 0) THEN SendPlayerMessage(me, 0, "P|" + STR$(INT(myColour)) + "|" + STR$(INT(myX)) + "|" + STR$(INT(myY)) + "|" + myName$)
 40    readMessages()
 41    IF demo > 0 AND hello = 0 AND frame > 50 AND othersSeen() >= expect - 1 THEN sayLine("hello from " + myName$)
 42    IF httpState = 1 OR httpState = 4 THEN stepDownload()
 43    drawPlayers()
 44    drawChat()
 45    drawDownload()
 46    ShowScreen()
     FOREVER

' The word after key$ on the command line, empty when key$ is not there.
FUNCTION word$(key$)
  LOCAL rest$, p, w$
 47  rest$ = args$ + " "
 48  WHILE LEN(rest$) > 0
 49    p = INSTR(rest$, " ")
 50    w$ = LEFT$(rest$, p - 1)
 51    rest$ = MID$(rest$, p + 1)
 52    IF w$ = key$
 53      p = INSTR(rest$, " ")
 54      RETURN LEFT$(rest$, p - 1)
       ENDIF
     WEND
 55  RETURN ""
END FUNCTION

' Field n (from 1) of a message, empty when it has fewer.
FUNCTION field$(t$, n)
  LOCAL k, p
 56  FOR k = 1 TO n - 1
 57    p = INSTR(t$, "|")
 58    IF p = 0 THEN RETURN ""
 59    t$ = MID$(t$, p + 1)
     NEXT
 60  p = INSTR(t$, "|")
 61  IF p > 0 THEN t$ = LEFT$(t$, p - 1)
 62  RETURN t$
END FUNCTION

' The scripted path (player K ends at 120 K, 60 + 60 K), or the cursor keys.
FUNCTION movePlayer()
 63  IF demo > 0
 64    IF frame <= 50 THEN myX = 120 * demo - 80 + 4 * frame
 65    IF frame <= 50 THEN myY = 60 * demo + 10 + frame
     ELSE
 66    IF IsKeyDown(203) AND myX > 20 THEN myX = myX - 4
 67    IF IsKeyDown(205) AND myX < 620 THEN myX = myX + 4
 68    IF IsKeyDown(200) AND myY > 30 THEN myY = myY - 4
 69    IF IsKeyDown(208) AND myY < 280 THEN myY = myY + 4
 70    readTyping()
     ENDIF
 71  IF myColour > 0
 72    px[myColour] = myX
 73    py[myColour] = myY
 74    names$[myColour] = myName$
 75    seen[myColour] = 1
     ENDIF
END FUNCTION

' Typed characters edit the line; Return sends it.
FUNCTION readTyping()
  LOCAL c
 76  c = PopTypedChar()
 77  WHILE c > 0
 78    IF c = 10
 79      IF typed$ <> "" AND me > 0 THEN sayLine(typed$)
 80      typed$ = ""
       ELSEIF c = 8
 81      IF LEN(typed$) > 0 THEN typed$ = LEFT$(typed$, LEN(typed$) - 1)
       ELSEIF c >= 32 AND c <> 124 AND LEN(typed$) < 50
 82      typed$ = typed$ + CHR$(c)
       ENDIF
 83    c = PopTypedChar()
     WEND
END FUNCTION

' Sends a chat line to every player and shows it here.
FUNCTION sayLine(t$)
 84  SendPlayerMessage(me, 0, "C|" + STR$(INT(myColour)) + "|" + myName$ + "|" + t$)
 85  addLine(myName$ + ": " + t$)
 86  hello = 1
END FUNCTION

FUNCTION addLine(t$)
  LOCAL k
 87  FOR k = 1 TO 5
 88    lines$[k] = lines$[k + 1]
     NEXT
 89  lines$[6] = t$
END FUNCTION

' The other players whose position has arrived.
FUNCTION othersSeen()
  LOCAL k, n
 90  FOR k = 1 TO 6
 91    IF seen[k] = 1 AND k <> myColour THEN n = n + 1
     NEXT
 92  RETURN n
END FUNCTION

' Every message waiting for this process's player.
FUNCTION readMessages()
  LOCAL m$, k
 93  IF me = 0 THEN RETURN
 94  m$ = ReceivePlayerMessage(me)
 95  WHILE m$ <> ""
 96    k = VAL(field$(m$, 2))
 97    IF k >= 1 AND k <= 6 AND LEFT$(m$, 2) = "P|"
 98      px[k] = VAL(field$(m$, 3))
 99      py[k] = VAL(field$(m$, 4))
100      names$[k] = field$(m$, 5)
101      seen[k] = 1
       ELSEIF LEFT$(m$, 2) = "C|"
102      addLine(field$(m$, 3) + ": " + field$(m$, 4))
103      IF demo > 0
104        OpenFile(1, "received.txt", -1)
105        WriteLine(1, field$(m$, 3) + ": " + field$(m$, 4))
106        CloseFile(1)
         ENDIF
       ENDIF
107    m$ = ReceivePlayerMessage(me)
     WEND
108  k = NextDepartedPlayer()
109  WHILE k > 0
110    addLine("* player " + STR$(INT(k)) + " left")
111    k = NextDepartedPlayer()
     WEND
END FUNCTION

' A square of the player's colour with the name above; this process's own
' player has a white frame.
FUNCTION drawPlayers()
  LOCAL k
112 SetAlphaMode(0)
113 FOR k = 1 TO 6
114   IF seen[k] = 1
115     IF k = myColour THEN DrawRect(px[k] - 12, py[k] - 12, 24, 24, $FFFFFF)
116     DrawRect(px[k] - 10, py[k] - 10, 20, 20, colours[k])
117     PrintText(names$[k], px[k] - 10, py[k] - 28, 1)
       ENDIF
     NEXT
118 IF online = 1 AND SessionRunning() = 0 THEN PrintText("session ended", 10, 10, 1)
119 IF online = 0 AND host$ <> "" THEN PrintText("joining " + host$ + " ...", 10, 10, 1)
END FUNCTION

FUNCTION drawChat()
  LOCAL k
120 DrawRect(10, 300, 620, 136, $402828)
121 FOR k = 1 TO 6
122   PrintText(lines$[k], 16, 282 + 20 * k, 1)
     NEXT
123 IF demo = 0 THEN PrintText("> " + typed$, 16, 420, 1)
END FUNCTION

' url$ is http://server[:port]/path: connect and send the request.
FUNCTION startDownload()
  LOCAL rest$, p
124 rest$ = url$
125 IF LOWER$(LEFT$(rest$, 7)) = "http://" THEN rest$ = MID$(rest$, 8)
126 p = INSTR(rest$, "/")
127 IF p = 0
128   path$ = "/"
129   server$ = rest$
     ELSE
130   path$ = MID$(rest$, p)
131   server$ = LEFT$(rest$, p - 1)
     ENDIF
132 httpPort = 80
133 p = INSTR(server$, ":")
134 IF p > 0
135   httpPort = VAL(MID$(server$, p + 1))
136   server$ = LEFT$(server$, p - 1)
     ENDIF
137 fileName$ = MID$(path$, INSTR(path$, "/") + 1)
138 WHILE INSTR(fileName$, "/") > 0
139   fileName$ = MID$(fileName$, INSTR(fileName$, "/") + 1)
     WEND
140 IF fileName$ = "" THEN fileName$ = "download.bin"
141 httpState = 3
142 sock = NetTcpConnect(server$, httpPort, 3000)
143 IF sock < 0 THEN RETURN
144 NetSendText(sock, "GET " + path$ + " HTTP/1.0" + CHR$(13) + CHR$(10) + "Host: " + server$ + CHR$(13) + CHR$(10) + CHR$(13) + CHR$(10))
145 OpenFile(2, fileName$, 0)
146 httpState = 1
147 total = -1
148 got = 0
149 head$ = ""
END FUNCTION

' One piece of the response a frame (state 1: header, 4: body, 2: done, 3:
' failed): the header up to the blank line gives Content-Length, the body
' goes to the file.
FUNCTION stepDownload()
  LOCAL piece$, n, p
150 n = NetReceive(sock, piece$, 1024)
151 IF n = -2 THEN RETURN
152 IF n <= 0
153   CloseFile(2)
154   NetClose(sock)
155   IF httpState = 4 AND (total < 0 OR got = total) THEN httpState = 2 ELSE httpState = 3
156   IF httpState = 2 THEN picture = LoadSprite(fileName$, 1)
157   RETURN
     ENDIF
158 IF httpState = 4
159   WriteString(2, piece$)
160   got = got + n
161   RETURN
     ENDIF
162 head$ = head$ + piece$
163 p = INSTR(head$, CHR$(13) + CHR$(10) + CHR$(13) + CHR$(10))
164 IF p = 0 THEN RETURN
165 httpState = 4
166 n = INSTR(LOWER$(head$), "content-length:")
167 IF n > 0 AND n < p THEN total = VAL(MID$(head$, n + 15))
168 piece$ = MID$(head$, p + 4)
169 WriteString(2, piece$)
170 got = LEN(piece$)
END FUNCTION

' The bar fills with the bytes received; then the size, and the picture at
' the top right when the file is one.
FUNCTION drawDownload()
  LOCAL w
171 IF httpState = 0 THEN RETURN
172 DrawRect(10, 446, 404, 24, $FFFFFF)
173 DrawRect(12, 448, 400, 20, $000000)
174 w = 0
175 IF total > 0 THEN w = INT(400 * got / total)
176 IF httpState = 2 THEN w = 400
177 IF w > 400 THEN w = 400
178 IF w > 0 THEN DrawRect(12, 448, w, 20, $00C000)
179 IF httpState = 2 THEN PrintText(fileName$ + ": " + STR$(INT(got)) + " bytes", 424, 450, 1)
180 IF httpState = 3 THEN PrintText("download failed", 424, 450, 1)
181 IF httpState = 2 AND picture THEN StretchSprite(1, 560, 10, 64, 64)
END FUNCTION
