// Module 0 (arcade.bas): the main program and every routine of it.
#include "arcade.h"

namespace arcade {

void mainProgram() {
  VLM_ROUTINE();

  LINE0(1);
  SetScreenMode(640, 480, 0);
  LINE0(2);
  key_Str = kTempText;
  LINE0(3);
  folder_Str = PlatformInfo(key_Str);
  LINE0(4);
  makeShip();
  LINE0(5);
  makeGlow();
  LINE0(6);
  makeBubble();
  LINE0(7);
  makeFont(folder_Str + kFontFileText);
  LINE0(8);
  writeWave(folder_Str + kBlipFileText, 2646, 0);
  LINE0(9);
  writeWave(folder_Str + kMusicFileText, 22050, 1);
  LINE0(10);
  LoadSound(folder_Str + kBlipFileText, 1, 4);
  LINE0(11);
  PlayMusic(folder_Str + kMusicFileText, 1);
  LINE0(12);
  CreateScreen(0, 10, 640, 480);
  LINE0(13);
  ClearScreen(0x402010);
  LINE0(14);
  px = 304;
  LINE0(15);
  py = 300;
  LINE0(16);
  command_Str = CommandLineText() + kBlankText;
  LINE0(17);
  if (Instr(command_Str, kDemoText) > 0) {
    LINE0(18);
    demo = 1;
    LINE0(19);
    px = 64;
  }
  LINE0(20);
  if (Instr(command_Str, kAtText) > 0) {
    LINE0(21);
    command_Str = MidText(command_Str, Instr(command_Str, kAtText) + 4, command_Str.Length());
    LINE0(22);
    px = ToDouble(wordOf_Str(command_Str, 1));
    LINE0(23);
    py = ToDouble(wordOf_Str(command_Str, 2));
    LINE0(24);
    demo = 2;
  }
  for (;;) {
    LINE0(25);
    movePlayer();
    LINE0(26);
    anim = Mod(Trunc(frame / 6), 4);
    LINE0(27);
    if (Mod(frame, 15) == 0) PlaySound(1, ((px + 16) / 640) * 2 - 1, 1);
    LINE0(28);
    UseScreen(0);
    LINE0(29);
    drawScene();
    LINE0(30);
    UseScreen(-1);
    LINE0(31);
    drawScene();
    LINE0(32);
    SetAlphaMode(0);
    LINE0(33);
    DrawRect(470, 6, 164, 124, 0xFFFFFF);
    LINE0(34);
    StretchSprite(10, 472, 8, 160, 120);
    LINE0(35);
    SetFont(1);
    LINE0(36);
    score = frame * 10;
    LINE0(37);
    PrintText(BasicString(kScoreText) + NumberToText(score), 20, 440, 0);
    LINE0(38);
    ShowScreen();
    LINE0(39);
    frame = frame + 1;
  }
}

void movePlayer() {
  VLM_ROUTINE();

  LINE0(40);
  if (demo == 1) {
    LINE0(41);
    px = 64 + 4 * frame;
  } else if (demo == 0) {
    LINE0(42);
    if (IsKeyDown(203)) px = px - 4;
    LINE0(43);
    if (IsKeyDown(205)) px = px + 4;
    LINE0(44);
    if (IsKeyDown(200)) py = py - 4;
    LINE0(45);
    if (IsKeyDown(208)) py = py + 4;
    LINE0(46);
    if (GetJoystickCount() > 0) {
      LINE0(47);
      px = px + 4 * JoystickX(0);
      LINE0(48);
      py = py + 4 * JoystickY(0);
    }
  }
  LINE0(49);
  if (px < 0) px = 0;
  LINE0(50);
  if (px > 608) px = 608;
  LINE0(51);
  if (py < 0) py = 0;
  LINE0(52);
  if (py > 448) py = 448;
}

void drawScene() {
  VLM_ROUTINE();

  LINE0(53);
  SetAlphaMode(0);
  LINE0(54);
  DrawRect(0, 0, 640, 480, 0x402010);
  LINE0(55);
  DrawRect(0, 400, 640, 80, 0x205020);
  LINE0(56);
  SetAlphaMode(1);
  LINE0(57);
  DrawSprite(2, 100, 100);
  LINE0(58);
  DrawSprite(2, 132, 100);
  LINE0(59);
  SetAlphaMode(-0.5);
  LINE0(60);
  DrawSprite(3, 400, 360);
  LINE0(61);
  SetAlphaMode(0);
  LINE0(62);
  DrawAnim(1, Trunc(anim), static_cast<float>(px), static_cast<float>(py));
}

void makeShip() {
  VLM_ROUTINE();
  Number x, y, f, colour;
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(f);
  VLM_LOCAL(colour);

  LINE0(63);
  DimArray(pixels, 128 * 32);
  LINE0(64);
  FOR_TO(y, 0, 31) {
    LINE0(65);
    FOR_TO(x, 0, 127) {
      LINE0(66);
      f = Trunc(x / 32);
      LINE0(67);
      colour = 0;
      LINE0(68);
      if (y >= 4 && y < 24 && Mod(x, 32) > 12 - (y - 4) / 2 && Mod(x, 32) < 20 + (y - 4) / 2)
        colour = argb(0x30E030, 255);
      LINE0(69);
      if (y >= 24 && Mod(x, 32) >= 11 && Mod(x, 32) < 21) colour = argb(flameColour(f), 255);
      LINE0(70);
      At(pixels, x + y * 128) = Trunc(colour);
    }
  }
  LINE0(71);
  ArrayToSprite(pixels, 1, 128, 32);
  LINE0(72);
  SetSpriteAnim(1, 32, 32);
}

Number flameColour(Number f) {
  VLM_ROUTINE();
  VLM_PARAM(f);

  LINE0(73);
  if (f == 0) {
    LINE0(74);
    return 0x0028FF;
  } else if (f == 1) {
    LINE0(75);
    return 0x008CFF;
  } else if (f == 2) {
    LINE0(76);
    return 0x00E6FF;
  }
  LINE0(77);
  return 0xFFFFFF;
}

void makeGlow() {
  VLM_ROUTINE();
  Number x, y, d, a;
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(d);
  VLM_LOCAL(a);

  LINE0(78);
  DimArray(pixels, 64 * 64);
  LINE0(79);
  FOR_TO(y, 0, 63) {
    LINE0(80);
    FOR_TO(x, 0, 63) {
      LINE0(81);
      d = Sqrt((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5));
      LINE0(82);
      a = 0;
      LINE0(83);
      if (d < 32) a = Trunc(255 * (1 - d / 32));
      LINE0(84);
      At(pixels, x + y * 64) = Trunc(argb(0x2080FF, a));
    }
  }
  LINE0(85);
  ArrayToSprite(pixels, 2, 64, 64);
}

void makeBubble() {
  VLM_ROUTINE();
  Number x, y;
  VLM_LOCAL(x);
  VLM_LOCAL(y);

  LINE0(86);
  DimArray(pixels, 64 * 64);
  LINE0(87);
  FOR_TO(y, 0, 63) {
    LINE0(88);
    FOR_TO(x, 0, 63) {
      LINE0(89);
      if ((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5) < 1024)
        At(pixels, x + y * 64) = Trunc(argb(0xFFFFFF, 255));
      else
        At(pixels, x + y * 64) = 0;
    }
  }
  LINE0(90);
  ArrayToSprite(pixels, 3, 64, 64);
}

void makeFont(BasicString file_Str) {
  VLM_ROUTINE();
  VLM_PARAM(file_Str);
  Number row, col, x, y, source;
  BasicString line_Str;
  VLM_LOCAL(row);
  VLM_LOCAL(col);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(line_Str);
  VLM_LOCAL(source);

  LINE0(91);
  CreateScreen(1, 20, 128, 64);
  LINE0(92);
  UseScreen(1);
  LINE0(93);
  SetFont(0);
  LINE0(94);
  FOR_TO(row, 2, 7) {
    LINE0(95);
    line_Str = "";
    LINE0(96);
    FOR_TO(col, 0, 15) {
      LINE0(97);
      line_Str = line_Str + Chr(Trunc(row * 16 + col));
    }
    LINE0(98);
    PrintText(line_Str, 0, static_cast<float>(row * 8), 0);
  }
  LINE0(99);
  UseScreen(-1);
  LINE0(100);
  SpriteToArray(glyphs, 20);
  LINE0(101);
  DimArray(pixels, 256 * 128);
  LINE0(102);
  FOR_TO(y, 0, 127) {
    LINE0(103);
    FOR_TO(x, 0, 255) {
      LINE0(104);
      source = At(glyphs, Trunc(x / 2) + Trunc(y / 2) * 128) & 255;
      LINE0(105);
      if (source > 128) {
        LINE0(106);
        if (Mod(y, 16) < 8)
          At(pixels, x + y * 256) = Trunc(argb(0x40E0FF, 255));
        else
          At(pixels, x + y * 256) = Trunc(argb(0x2080FF, 255));
      } else if (source > 0) {
        LINE0(107);
        At(pixels, x + y * 256) = Trunc(argb(0x202020, 255));
      } else {
        LINE0(108);
        At(pixels, x + y * 256) = 0;
      }
    }
  }
  LINE0(109);
  ArrayToSprite(pixels, 21, 256, 128);
  LINE0(110);
  SaveSprite(file_Str, 21);
  LINE0(111);
  DeleteSprite(21);
  LINE0(112);
  LoadFont(file_Str, 1);
}

void writeWave(BasicString file_Str, Number count, Number kind) {
  VLM_ROUTINE();
  VLM_PARAM(file_Str);
  VLM_PARAM(count);
  VLM_PARAM(kind);
  Number k, freq, level;
  VLM_LOCAL(k);
  VLM_LOCAL(freq);
  VLM_LOCAL(level);

  LINE0(113);
  OpenFile(1, file_Str, 0);
  LINE0(114);
  WriteString(1, kRiffText);
  LINE0(115);
  WriteUInt32(1, Trunc(36 + count * 2));
  LINE0(116);
  WriteString(1, kWaveFormatText);
  LINE0(117);
  WriteUInt32(1, 16);
  LINE0(118);
  WriteUInt16(1, 1);
  LINE0(119);
  WriteUInt16(1, 1);
  LINE0(120);
  WriteUInt32(1, 22050);
  LINE0(121);
  WriteUInt32(1, 44100);
  LINE0(122);
  WriteUInt16(1, 2);
  LINE0(123);
  WriteUInt16(1, 16);
  LINE0(124);
  WriteString(1, kDataText);
  LINE0(125);
  WriteUInt32(1, Trunc(count * 2));
  LINE0(126);
  FOR_TO(k, 0, count - 1) {
    LINE0(127);
    if (kind == 0) {
      LINE0(128);
      freq = 1200 - k / 4;
      LINE0(129);
      if (SinDeg(360 * freq * k / 22050) >= 0)
        level = 12000;
      else
        level = -12000;
    } else {
      LINE0(130);
      freq = noteFrequency(Trunc(k / 5512.5));
      LINE0(131);
      level = Trunc(3000 * SinDeg(360 * freq * k / 22050));
    }
    LINE0(132);
    WriteInt16(1, Trunc(level));
  }
  LINE0(133);
  CloseFile(1);
}

Number noteFrequency(Number n) {
  VLM_ROUTINE();
  VLM_PARAM(n);

  LINE0(134);
  if (n == 0) {
    LINE0(135);
    return 440;
  } else if (n == 1) {
    LINE0(136);
    return 556;
  } else if (n == 2) {
    LINE0(137);
    return 660;
  }
  LINE0(138);
  return 880;
}

Number argb(Number rgb, Number a) {
  VLM_ROUTINE();
  VLM_PARAM(rgb);
  VLM_PARAM(a);

  LINE0(139);
  if (a >= 128) return rgb + (a - 256) * 16777216;
  LINE0(140);
  return rgb + a * 16777216;
}

BasicString wordOf_Str(BasicString words_Str, Number n) {
  VLM_ROUTINE();
  VLM_PARAM(words_Str);
  VLM_PARAM(n);
  Number k, count;
  BasicString word_Str;
  VLM_LOCAL(k);
  VLM_LOCAL(count);
  VLM_LOCAL(word_Str);

  LINE0(141);
  FOR_TO(k, 1, words_Str.Length()) {
    LINE0(142);
    if (MidText(words_Str, k, 1) == BasicString(kBlankText)) {
      LINE0(143);
      if (word_Str != "") {
        LINE0(144);
        count = count + 1;
        LINE0(145);
        if (count == n) return word_Str;
        LINE0(146);
        word_Str = "";
      }
    } else {
      LINE0(147);
      word_Str = word_Str + MidText(words_Str, k, 1);
    }
  }
  LINE0(148);
  if (word_Str != "" && count + 1 == n) return word_Str;
  LINE0(149);
  return BasicString();
}

}  // namespace arcade
