// Module 0 (chat.bas): the main program and its routines.
#include "chat.h"

namespace chat {

namespace {

const BasicString kCrLf("\r\n");

}  // namespace

void mainProgram() {
  VLM_ROUTINE();
  LINE0(1);
  args_Str = CommandLineText();
  // The program's own start of networking: resetting the session (as
  // JoinSession does) then only stops the session's share, and the download's
  // socket stays open.
  LINE0(2);
  NetStart();
  LINE0(3);
  DimArray(px, 7);
  LINE0(4);
  DimArray(py, 7);
  LINE0(5);
  DimArray(seen, 7);
  LINE0(6);
  DimArray(colours, 7);
  LINE0(7);
  DimArray(names_Str, 7);
  LINE0(8);
  DimArray(lines_Str, 7);
  LINE0(9);
  At(colours, 1) = 0x4040FF;
  LINE0(10);
  At(colours, 2) = 0x40FF40;
  LINE0(11);
  At(colours, 3) = 0xFF8040;
  LINE0(12);
  At(colours, 4) = 0x40FFFF;
  LINE0(13);
  At(colours, 5) = 0xFF40FF;
  LINE0(14);
  At(colours, 6) = 0xFFFF40;
  LINE0(15);
  port = Val(word_Str("port"));
  LINE0(16);
  if (port <= 0) port = kDefaultSessionPort;
  LINE0(17);
  demo = Val(word_Str("demo"));
  LINE0(18);
  if (demo < 0 || demo > 6) demo = 0;
  LINE0(19);
  expect = Val(word_Str("expect"));
  LINE0(20);
  if (expect < 2) expect = 3;
  LINE0(21);
  myName_Str = word_Str("name");
  LINE0(22);
  if (myName_Str == "") myName_Str = "Player";
  LINE0(23);
  host_Str = word_Str("join");
  LINE0(24);
  if (host_Str == "") online = HostSession(Trunc(port));
  LINE0(25);
  url_Str = word_Str("get");
  LINE0(26);
  if (url_Str != "") startDownload();
  LINE0(27);
  if (demo > 0) {
    LINE0(28);
    OpenFile(1, "received.txt", 0);
    LINE0(29);
    CloseFile(1);
  }
  LINE0(30);
  ClearScreen(0x302010);
  for (;;) {
    LINE0(31);
    frame = frame + 1;
    // A host that does not listen yet refuses at once: try again twice a second.
    LINE0(32);
    if (online == 0 && host_Str != "" && IntMod(Trunc(frame), 15) == 1) online = JoinSession(host_Str, Trunc(port));
    LINE0(33);
    if (online == 1 && me == 0) {
      LINE0(34);
      me = CreatePlayer(myName_Str);
      LINE0(35);
      if (demo > 0)
        myColour = demo;
      else
        myColour = IntMod(Trunc(me), 6) + 1;
      LINE0(36);
      if (demo == 0) myX = 80 * myColour;
      LINE0(37);
      if (demo == 0) myY = 150;
    }
    LINE0(38);
    movePlayer();
    // Every frame while moving, then every tenth for players that join later.
    LINE0(39);
    if (me > 0 && (frame <= 50 || IntMod(Trunc(frame), 10) == 0))
      SendPlayerMessage(Trunc(me), 0,
                        "P|" + Str(Trunc(myColour)) + "|" + Str(Trunc(myX)) + "|" + Str(Trunc(myY)) + "|" + myName_Str);
    LINE0(40);
    readMessages();
    LINE0(41);
    if (demo > 0 && hello == 0 && frame > 50 && othersSeen() >= expect - 1) sayLine("hello from " + myName_Str);
    LINE0(42);
    if (httpState == 1 || httpState == 4) stepDownload();
    LINE0(43);
    drawPlayers();
    LINE0(44);
    drawChat();
    LINE0(45);
    drawDownload();
    LINE0(46);
    ShowScreen();
  }
}

BasicString word_Str(BasicString key_Str) {
  VLM_ROUTINE();
  VLM_PARAM(key_Str);
  BasicString rest_Str, w_Str;
  Number p;
  VLM_LOCAL(rest_Str);
  VLM_LOCAL(p);
  VLM_LOCAL(w_Str);

  LINE0(47);
  rest_Str = args_Str + " ";
  LINE0(48);
  while (Len(rest_Str) > 0) {
    LINE0(49);
    p = InStr(rest_Str, " ");
    LINE0(50);
    w_Str = Left(rest_Str, p - 1);
    LINE0(51);
    rest_Str = MidFrom(rest_Str, p + 1);
    LINE0(52);
    if (w_Str == key_Str) {
      LINE0(53);
      p = InStr(rest_Str, " ");
      LINE0(54);
      return Left(rest_Str, p - 1);
    }
    LINE0(48);
  }
  LINE0(55);
  return "";
}

BasicString field_Str(BasicString t_Str, Number n) {
  VLM_ROUTINE();
  VLM_PARAM(t_Str);
  VLM_PARAM(n);
  Number k, p;
  VLM_LOCAL(k);
  VLM_LOCAL(p);

  LINE0(56);
  FOR_TO(k, 1, n - 1) {
    LINE0(57);
    p = InStr(t_Str, "|");
    LINE0(58);
    if (p == 0) return "";
    LINE0(59);
    t_Str = MidFrom(t_Str, p + 1);
  }
  LINE0(60);
  p = InStr(t_Str, "|");
  LINE0(61);
  if (p > 0) t_Str = Left(t_Str, p - 1);
  LINE0(62);
  return t_Str;
}

void movePlayer() {
  VLM_ROUTINE();
  LINE0(63);
  if (demo > 0) {
    // Player K runs from (120 K - 76, 60 K + 11) to (120 K + 120, 60 K + 60).
    LINE0(64);
    if (frame <= 50) myX = 120 * demo - 80 + 4 * frame;
    LINE0(65);
    if (frame <= 50) myY = 60 * demo + 10 + frame;
  } else {
    LINE0(66);
    if (IsKeyDown(203) && myX > 20) myX = myX - 4;
    LINE0(67);
    if (IsKeyDown(205) && myX < 620) myX = myX + 4;
    LINE0(68);
    if (IsKeyDown(200) && myY > 30) myY = myY - 4;
    LINE0(69);
    if (IsKeyDown(208) && myY < 280) myY = myY + 4;
    LINE0(70);
    readTyping();
  }
  LINE0(71);
  if (myColour > 0) {
    LINE0(72);
    At(px, myColour) = myX;
    LINE0(73);
    At(py, myColour) = myY;
    LINE0(74);
    At(names_Str, myColour) = myName_Str;
    LINE0(75);
    At(seen, myColour) = 1;
  }
}

void readTyping() {
  VLM_ROUTINE();
  Number c;
  VLM_LOCAL(c);

  LINE0(76);
  c = PopTypedChar();
  LINE0(77);
  while (c > 0) {
    LINE0(78);
    if (c == 10) {
      LINE0(79);
      if (typed_Str != "" && me > 0) sayLine(typed_Str);
      LINE0(80);
      typed_Str = "";
    } else if (c == 8) {
      LINE0(81);
      if (Len(typed_Str) > 0) typed_Str = Left(typed_Str, Len(typed_Str) - 1);
    } else if (c >= 32 && c != 124 && Len(typed_Str) < 50) {
      // "|" separates the fields of a message: it cannot be typed.
      LINE0(82);
      typed_Str = typed_Str + Chr(Trunc(c));
    }
    LINE0(83);
    c = PopTypedChar();
    LINE0(77);
  }
}

void sayLine(BasicString t_Str) {
  VLM_ROUTINE();
  VLM_PARAM(t_Str);

  LINE0(84);
  SendPlayerMessage(Trunc(me), 0, "C|" + Str(Trunc(myColour)) + "|" + myName_Str + "|" + t_Str);
  LINE0(85);
  addLine(myName_Str + ": " + t_Str);
  LINE0(86);
  hello = 1;
}

void addLine(BasicString t_Str) {
  VLM_ROUTINE();
  VLM_PARAM(t_Str);
  Number k;
  VLM_LOCAL(k);

  LINE0(87);
  FOR_TO(k, 1, 5) {
    LINE0(88);
    At(lines_Str, k) = At(lines_Str, k + 1);
  }
  LINE0(89);
  At(lines_Str, 6) = t_Str;
}

Number othersSeen() {
  VLM_ROUTINE();
  Number k, n;
  VLM_LOCAL(k);
  VLM_LOCAL(n);

  LINE0(90);
  FOR_TO(k, 1, 6) {
    LINE0(91);
    if (At(seen, k) == 1 && k != myColour) n = n + 1;
  }
  LINE0(92);
  return n;
}

void readMessages() {
  VLM_ROUTINE();
  BasicString m_Str;
  Number k;
  VLM_LOCAL(m_Str);
  VLM_LOCAL(k);

  LINE0(93);
  if (me == 0) return;
  LINE0(94);
  m_Str = ReceivePlayerMessage(Trunc(me));
  LINE0(95);
  while (m_Str != "") {
    LINE0(96);
    k = Val(field_Str(m_Str, 2));
    LINE0(97);
    if (k >= 1 && k <= 6 && Left(m_Str, 2) == "P|") {
      LINE0(98);
      At(px, k) = Val(field_Str(m_Str, 3));
      LINE0(99);
      At(py, k) = Val(field_Str(m_Str, 4));
      LINE0(100);
      At(names_Str, k) = field_Str(m_Str, 5);
      LINE0(101);
      At(seen, k) = 1;
    } else if (Left(m_Str, 2) == "C|") {
      LINE0(102);
      addLine(field_Str(m_Str, 3) + ": " + field_Str(m_Str, 4));
      LINE0(103);
      if (demo > 0) {
        LINE0(104);
        OpenFile(1, "received.txt", -1);
        LINE0(105);
        WriteLine(1, field_Str(m_Str, 3) + ": " + field_Str(m_Str, 4));
        LINE0(106);
        CloseFile(1);
      }
    }
    LINE0(107);
    m_Str = ReceivePlayerMessage(Trunc(me));
    LINE0(95);
  }
  LINE0(108);
  k = NextDepartedPlayer();
  LINE0(109);
  while (k > 0) {
    LINE0(110);
    addLine("* player " + Str(Trunc(k)) + " left");
    LINE0(111);
    k = NextDepartedPlayer();
    LINE0(109);
  }
}

void drawPlayers() {
  VLM_ROUTINE();
  Number k;
  VLM_LOCAL(k);

  LINE0(112);
  SetAlphaMode(0);
  LINE0(113);
  FOR_TO(k, 1, 6) {
    LINE0(114);
    if (At(seen, k) == 1) {
      LINE0(115);
      if (k == myColour) DrawRect(Trunc(At(px, k) - 12), Trunc(At(py, k) - 12), 24, 24, 0xFFFFFF);
      LINE0(116);
      DrawRect(Trunc(At(px, k) - 10), Trunc(At(py, k) - 10), 20, 20, Trunc(At(colours, k)));
      LINE0(117);
      PrintText(At(names_Str, k), At(px, k) - 10, At(py, k) - 28, 1);
    }
  }
  LINE0(118);
  if (online == 1 && SessionRunning() == 0) PrintText("session ended", 10, 10, 1);
  LINE0(119);
  if (online == 0 && host_Str != "") PrintText("joining " + host_Str + " ...", 10, 10, 1);
}

void drawChat() {
  VLM_ROUTINE();
  Number k;
  VLM_LOCAL(k);

  LINE0(120);
  DrawRect(10, 300, 620, 136, 0x402828);
  LINE0(121);
  FOR_TO(k, 1, 6) {
    LINE0(122);
    PrintText(At(lines_Str, k), 16, 282 + 20 * k, 1);
  }
  LINE0(123);
  if (demo == 0) PrintText("> " + typed_Str, 16, 420, 1);
}

void startDownload() {
  VLM_ROUTINE();
  BasicString rest_Str;
  Number p;
  VLM_LOCAL(rest_Str);
  VLM_LOCAL(p);

  LINE0(124);
  rest_Str = url_Str;
  LINE0(125);
  if (Lower(Left(rest_Str, 7)) == "http://") rest_Str = MidFrom(rest_Str, 8);
  LINE0(126);
  p = InStr(rest_Str, "/");
  LINE0(127);
  if (p == 0) {
    LINE0(128);
    path_Str = "/";
    LINE0(129);
    server_Str = rest_Str;
  } else {
    LINE0(130);
    path_Str = MidFrom(rest_Str, p);
    LINE0(131);
    server_Str = Left(rest_Str, p - 1);
  }
  LINE0(132);
  httpPort = 80;
  LINE0(133);
  p = InStr(server_Str, ":");
  LINE0(134);
  if (p > 0) {
    LINE0(135);
    httpPort = Val(MidFrom(server_Str, p + 1));
    LINE0(136);
    server_Str = Left(server_Str, p - 1);
  }
  LINE0(137);
  fileName_Str = MidFrom(path_Str, InStr(path_Str, "/") + 1);
  LINE0(138);
  while (InStr(fileName_Str, "/") > 0) {
    LINE0(139);
    fileName_Str = MidFrom(fileName_Str, InStr(fileName_Str, "/") + 1);
    LINE0(138);
  }
  LINE0(140);
  if (fileName_Str == "") fileName_Str = "download.bin";
  LINE0(141);
  httpState = 3;
  LINE0(142);
  sock = NetTcpConnect(server_Str, Trunc(httpPort), 3000);
  LINE0(143);
  if (sock < 0) return;
  LINE0(144);
  NetSendText(Trunc(sock), "GET " + path_Str + " HTTP/1.0" + kCrLf + "Host: " + server_Str + kCrLf + kCrLf);
  LINE0(145);
  OpenFile(2, fileName_Str, 0);
  LINE0(146);
  httpState = 1;
  LINE0(147);
  total = -1;
  LINE0(148);
  got = 0;
  LINE0(149);
  head_Str = "";
}

void stepDownload() {
  VLM_ROUTINE();
  BasicString piece_Str;
  Number n, p;
  VLM_LOCAL(piece_Str);
  VLM_LOCAL(n);
  VLM_LOCAL(p);

  LINE0(150);
  n = NetReceive(Trunc(sock), piece_Str, 1024);
  LINE0(151);
  if (n == -2) return;
  // The server closes the connection after the body (HTTP/1.0).
  LINE0(152);
  if (n <= 0) {
    LINE0(153);
    CloseFile(2);
    LINE0(154);
    NetClose(Trunc(sock));
    LINE0(155);
    if (httpState == 4 && (total < 0 || got == total))
      httpState = 2;
    else
      httpState = 3;
    LINE0(156);
    if (httpState == 2) picture = LoadSprite(fileName_Str, 1);
    LINE0(157);
    return;
  }
  LINE0(158);
  if (httpState == 4) {
    LINE0(159);
    WriteString(2, piece_Str);
    LINE0(160);
    got = got + n;
    LINE0(161);
    return;
  }
  LINE0(162);
  head_Str = head_Str + piece_Str;
  LINE0(163);
  p = InStr(head_Str, kCrLf + kCrLf);
  LINE0(164);
  if (p == 0) return;
  LINE0(165);
  httpState = 4;
  LINE0(166);
  n = InStr(Lower(head_Str), "content-length:");
  LINE0(167);
  if (n > 0 && n < p) total = Val(MidFrom(head_Str, n + 15));
  LINE0(168);
  piece_Str = MidFrom(head_Str, p + 4);
  LINE0(169);
  WriteString(2, piece_Str);
  LINE0(170);
  got = Len(piece_Str);
}

void drawDownload() {
  VLM_ROUTINE();
  Number w;
  VLM_LOCAL(w);

  LINE0(171);
  if (httpState == 0) return;
  LINE0(172);
  DrawRect(10, 446, 404, 24, 0xFFFFFF);
  LINE0(173);
  DrawRect(12, 448, 400, 20, 0x000000);
  LINE0(174);
  w = 0;
  LINE0(175);
  if (total > 0) w = Trunc(400 * got / total);
  LINE0(176);
  if (httpState == 2) w = 400;
  LINE0(177);
  if (w > 400) w = 400;
  LINE0(178);
  if (w > 0) DrawRect(12, 448, Trunc(w), 20, 0x00C000);
  LINE0(179);
  if (httpState == 2) PrintText(fileName_Str + ": " + Str(Trunc(got)) + " bytes", 424, 450, 1);
  LINE0(180);
  if (httpState == 3) PrintText("download failed", 424, 450, 1);
  LINE0(181);
  if (httpState == 2 && picture != 0) StretchSprite(1, 560, 10, 64, 64);
}

}  // namespace chat
