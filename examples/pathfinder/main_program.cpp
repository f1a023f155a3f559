// Module 0 (pathfinder.bas): the main program and every routine of it.
#include "pathfinder.h"

namespace pathfinder {

void mainProgram() {
  VLM_ROUTINE();
  Number y, x;
  VLM_LOCAL(y);
  VLM_LOCAL(x);

  LINE0(1);
  SetScreenMode(640, 480, 0);
  LINE0(2);
  cellSize = 28;
  LINE0(3);
  originX = 40;
  LINE0(4);
  originY = 40;
  LINE0(5);
  startX = -1;
  LINE0(6);
  goalX = -1;
  LINE0(7);
  LoadImageToArray(BasicString(kMapFileText), pixels, mapW, mapH);
  LINE0(8);
  DimArray(costs, Trunc(mapW), Trunc(mapH));
  LINE0(9);
  FOR_TO(y, 0, mapH - 1) {
    LINE0(10);
    FOR_TO(x, 0, mapW - 1) {
      LINE0(11);
      At(costs, x, y) = terrainCost(Trunc(At(pixels, x + y * mapW)) & 0xFFFFFF);
    }
  }
  LINE0(12);
  command_Str = CommandLineText();
  LINE0(13);
  if (Instr(command_Str, kClickText) > 0) {
    LINE0(14);
    command_Str = MidText(command_Str, Instr(command_Str, kClickText) + 7, command_Str.Length());
    LINE0(15);
    clickCell(originX + ToDouble(wordOf_Str(command_Str, 1)) * cellSize + 2,
              originY + ToDouble(wordOf_Str(command_Str, 2)) * cellSize + 2);
    LINE0(16);
    clickCell(originX + ToDouble(wordOf_Str(command_Str, 3)) * cellSize + 2,
              originY + ToDouble(wordOf_Str(command_Str, 4)) * cellSize + 2);
  }
  for (;;) {
    LINE0(17);
    GetMouseState(mx, my, mb1, mb2);
    LINE0(18);
    if (mb1 != 0 && wasDown == 0) clickCell(mx, my);
    LINE0(19);
    wasDown = mb1;
    LINE0(20);
    if (mb2 != 0) {
      LINE0(21);
      startX = -1;
      LINE0(22);
      goalX = -1;
      LINE0(23);
      cells = 0;
    }
    LINE0(24);
    ClearScreen(0x302020);
    LINE0(25);
    drawLegend();
    LINE0(26);
    drawMap();
    LINE0(27);
    drawRoute();
    LINE0(28);
    showStatus();
    LINE0(29);
    ShowScreen();
  }
}

Number terrainCost(Number rgb) {
  VLM_ROUTINE();
  VLM_PARAM(rgb);

  LINE0(30);
  if (rgb == 0xFFFFFF) {
    LINE0(31);
    return 1;
  } else if (rgb == 0x00A000) {
    LINE0(32);
    return 3;
  } else if (rgb == 0xFF0000) {
    LINE0(33);
    return 8;
  }
  LINE0(34);
  return 0;
}

Number terrainColour(Number cost) {
  VLM_ROUTINE();
  VLM_PARAM(cost);

  LINE0(35);
  if (cost == 1) {
    LINE0(36);
    return 0xC8C8C8;
  } else if (cost == 3) {
    LINE0(37);
    return 0x3C963C;
  } else if (cost == 8) {
    LINE0(38);
    return 0xC85028;
  }
  LINE0(39);
  return 0x1E1E1E;
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

  LINE0(40);
  FOR_TO(k, 1, words_Str.Length()) {
    LINE0(41);
    if (MidText(words_Str, k, 1) == BasicString(kBlankText)) {
      LINE0(42);
      if (word_Str != "") {
        LINE0(43);
        count = count + 1;
        LINE0(44);
        if (count == n) return word_Str;
        LINE0(45);
        word_Str = "";
      }
    } else {
      LINE0(46);
      word_Str = word_Str + MidText(words_Str, k, 1);
    }
  }
  LINE0(47);
  if (word_Str != "" && count + 1 == n) return word_Str;
  LINE0(48);
  return BasicString();
}

void clickCell(Number px, Number py) {
  VLM_ROUTINE();
  VLM_PARAM(px);
  VLM_PARAM(py);
  Number cx, cy, k;
  VLM_LOCAL(cx);
  VLM_LOCAL(cy);
  VLM_LOCAL(k);

  LINE0(49);
  if (px < originX || py < originY) return;
  LINE0(50);
  cx = Trunc((px - originX) / cellSize);
  LINE0(51);
  cy = Trunc((py - originY) / cellSize);
  LINE0(52);
  if (cx >= mapW || cy >= mapH) return;
  LINE0(53);
  if (startX < 0 || goalX >= 0) {
    LINE0(54);
    startX = cx;
    LINE0(55);
    startY = cy;
    LINE0(56);
    goalX = -1;
    LINE0(57);
    cells = 0;
  } else {
    LINE0(58);
    goalX = cx;
    LINE0(59);
    goalY = cy;
    LINE0(60);
    cells = FindPath(costs, route, 0.5, Trunc(startX), Trunc(startY), Trunc(goalX), Trunc(goalY));
    LINE0(61);
    total = 0;
    LINE0(62);
    FOR_TO(k, 1, cells - 1) {
      LINE0(63);
      total = total + At(costs, At(route, k, 0), At(route, k, 1));
    }
  }
}

void drawLegend() {
  VLM_ROUTINE();

  LINE0(64);
  PrintText("ROAD 1", 40, 16, 0);
  LINE0(65);
  DrawRect(96, 14, 12, 12, Trunc(terrainColour(1)));
  LINE0(66);
  PrintText("GRASS 3", 130, 16, 0);
  LINE0(67);
  DrawRect(194, 14, 12, 12, Trunc(terrainColour(3)));
  LINE0(68);
  PrintText("WATER 8", 228, 16, 0);
  LINE0(69);
  DrawRect(292, 14, 12, 12, Trunc(terrainColour(8)));
  LINE0(70);
  PrintText("WALL", 326, 16, 0);
  LINE0(71);
  DrawRect(366, 14, 12, 12, Trunc(terrainColour(0)));
}

void drawMap() {
  VLM_ROUTINE();
  Number x, y;
  VLM_LOCAL(x);
  VLM_LOCAL(y);

  LINE0(72);
  FOR_TO(y, 0, mapH - 1) {
    LINE0(73);
    FOR_TO(x, 0, mapW - 1) {
      LINE0(74);
      DrawRect(Trunc(originX + x * cellSize), Trunc(originY + y * cellSize), Trunc(cellSize - 2), Trunc(cellSize - 2),
               Trunc(terrainColour(At(costs, x, y))));
    }
  }
}

void markCell(Number x, Number y, Number colour) {
  VLM_ROUTINE();
  VLM_PARAM(x);
  VLM_PARAM(y);
  VLM_PARAM(colour);

  LINE0(75);
  DrawRect(Trunc(originX + x * cellSize + 6), Trunc(originY + y * cellSize + 6), Trunc(cellSize - 14),
           Trunc(cellSize - 14), Trunc(colour));
}

void drawRoute() {
  VLM_ROUTINE();
  Number k;
  VLM_LOCAL(k);

  LINE0(76);
  FOR_TO(k, 0, cells - 1) {
    LINE0(77);
    markCell(At(route, k, 0), At(route, k, 1), 0x00DCFF);
  }
  LINE0(78);
  if (startX >= 0) markCell(startX, startY, 0x4040FF);
  LINE0(79);
  if (goalX >= 0) markCell(goalX, goalY, 0xFFFF40);
}

void showStatus() {
  VLM_ROUTINE();

  LINE0(80);
  if (mapW < 1) {
    LINE0(81);
    text_Str = kNoMapText;
  } else if (startX < 0) {
    LINE0(82);
    text_Str = kStartText;
  } else if (goalX < 0) {
    LINE0(83);
    text_Str = kGoalText;
  } else if (cells == 0) {
    LINE0(84);
    text_Str = kNoPathText;
  } else {
    LINE0(85);
    text_Str = BasicString(kPathText) + NumberToText(cells) + kCellsText + NumberToText(cells - 1) + kStepsText +
               NumberToText(total);
  }
  LINE0(86);
  PrintText(text_Str, 40, 446, 0);
}

}  // namespace pathfinder
