// Module 0 (viewer.bas): the main program and its routines.
#include "viewer.h"

namespace viewer {

void mainProgram() {
  VLM_ROUTINE();
  Number n, i;
  BasicString w_Str, e_Str;
  VLM_LOCAL(n);
  VLM_LOCAL(w_Str);
  VLM_LOCAL(e_Str);
  VLM_LOCAL(i);

  LINE0(1);
  args_Str = CommandLineText();
  LINE0(2);
  DimArray(ox, 17);
  LINE0(3);
  DimArray(hx, 3);
  LINE0(4);
  DimArray(hy, 3);
  LINE0(5);
  if (word_Str("make") != "") {
    LINE0(6);
    makeGem(word_Str("make"));
    LINE0(7);
    EndWithCode0();
    return;
  }
  LINE0(8);
  n = 1;
  LINE0(9);
  w_Str = wordAt_Str(n);
  LINE0(10);
  while (w_Str != "") {
    LINE0(11);
    e_Str = Lower(Right(w_Str, 4));
    LINE0(12);
    if ((e_Str == ".xqo" || e_Str == ".xqw") && count < 16) {
      LINE0(13);
      count = count + 1;
      LINE0(14);
      LoadMesh(w_Str, count);
    }
    LINE0(15);
    n = n + 1;
    LINE0(16);
    w_Str = wordAt_Str(n);
    LINE0(10);
  }
  // The objects stand in a row along x, 25 units apart, centred.
  LINE0(17);
  FOR_TO(i, 1, count) {
    LINE0(18);
    At(ox, i) = 25 * i - 12.5 * (count + 1);
  }
  LINE0(19);
  if (InStr(args_Str + " ", " shader ") > 0) shader = LoadShader(1, "tint.vert", "tint.frag");
  LINE0(20);
  spin = 1;
  LINE0(21);
  if (word_Str("angle") != "") {
    LINE0(22);
    angle = Val(word_Str("angle"));
    LINE0(23);
    spin = 0;
  }
  LINE0(24);
  if (word_Str("pick") != "") {
    LINE0(25);
    scripted = 1;
    LINE0(26);
    pickX = Val(word_Str("pick"));
    LINE0(27);
    pickY = Val(MidFrom(word_Str("pick"), InStr(word_Str("pick"), ",") + 1));
  }
  LINE0(28);
  ClearScreen(0x403020);
  for (;;) {
    LINE0(29);
    if (spin == 1) angle = angle + 0.5;
    LINE0(30);
    if (IsKeyDown(203)) angle = angle - 2;
    LINE0(31);
    if (IsKeyDown(205)) angle = angle + 2;
    LINE0(32);
    if (scripted == 1) {
      LINE0(33);
      mx = pickX;
      LINE0(34);
      my = pickY;
    } else {
      LINE0(35);
      GetMouseState(mx, my, mb1, mb2);
    }
    LINE0(36);
    Begin3D(1, 1000, 45);
    LINE0(37);
    SetCamera(60 * SinDeg(angle), 15, 60 * CosDeg(angle), 0, 0, 0);
    LINE0(38);
    SetCullMode(0);
    LINE0(39);
    if (shader == 1) UseShader(1);
    LINE0(40);
    FOR_TO(i, 1, count) {
      LINE0(41);
      SetMovementTranslation(At(ox, i), 0, 0);
      LINE0(42);
      DrawMesh(i, 0);
    }
    LINE0(43);
    UseShader(-1);
    LINE0(44);
    pickTriangle();
    LINE0(45);
    End3D();
    LINE0(46);
    if (hitObject > 0) drawHighlight();
    LINE0(47);
    if (hitObject > 0)
      PrintText("object " + Str(Trunc(hitObject)) + ", triangle " + Str(Trunc(hitTriangle)), 10, 10, 1);
    LINE0(48);
    if (count == 0) PrintText("no object files on the command line", 10, 10, 1);
    LINE0(49);
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

  LINE0(50);
  rest_Str = args_Str + " ";
  LINE0(51);
  while (Len(rest_Str) > 0) {
    LINE0(52);
    p = InStr(rest_Str, " ");
    LINE0(53);
    w_Str = Left(rest_Str, p - 1);
    LINE0(54);
    rest_Str = MidFrom(rest_Str, p + 1);
    LINE0(55);
    if (w_Str == key_Str) {
      LINE0(56);
      p = InStr(rest_Str, " ");
      LINE0(57);
      return Left(rest_Str, p - 1);
    }
    LINE0(51);
  }
  LINE0(58);
  return "";
}

BasicString wordAt_Str(Number n) {
  VLM_ROUTINE();
  VLM_PARAM(n);
  BasicString rest_Str;
  Number p, k;
  VLM_LOCAL(rest_Str);
  VLM_LOCAL(p);
  VLM_LOCAL(k);

  LINE0(59);
  rest_Str = args_Str + " ";
  LINE0(60);
  FOR_TO(k, 1, n) {
    LINE0(61);
    p = InStr(rest_Str, " ");
    LINE0(62);
    if (p == 0) return "";
    LINE0(63);
    rest_Str = MidFrom(rest_Str, p + 1);
  }
  LINE0(64);
  p = InStr(rest_Str, " ");
  LINE0(65);
  return Left(rest_Str, p - 1);
}

void makeGem(BasicString f_Str) {
  VLM_ROUTINE();
  VLM_PARAM(f_Str);
  Number k, a, y, col;
  VLM_LOCAL(k);
  VLM_LOCAL(a);
  VLM_LOCAL(y);
  VLM_LOCAL(col);

  LINE0(66);
  SetMeshNormalMode(1);
  LINE0(67);
  BeginMesh(1);
  LINE0(68);
  FOR_TO(k, 0, 7) {
    LINE0(69);
    a = 90 * IntMod(Trunc(k), 4);
    LINE0(70);
    if (k < 4)
      y = 12;
    else
      y = -12;
    LINE0(71);
    if (k < 4)
      col = 0x2020E0;
    else
      col = 0x101090;
    LINE0(72);
    AddMeshVertex(0, y, 0, 0, 0, col);
    LINE0(73);
    AddMeshVertex(10 * CosDeg(a), 0, 10 * SinDeg(a), 0, 0, col);
    LINE0(74);
    AddMeshVertex(10 * CosDeg(a + 90), 0, 10 * SinDeg(a + 90), 0, 0, col);
    LINE0(75);
    NewMeshStrip();
  }
  LINE0(76);
  EndMesh();
  LINE0(77);
  SaveMesh(f_Str, 1);
}

void pickTriangle() {
  VLM_ROUTINE();
  Number x0, y0, z0, x1, y1, z1, d, best, i, k, sx, sy, sz;
  VLM_LOCAL(x0);
  VLM_LOCAL(y0);
  VLM_LOCAL(z0);
  VLM_LOCAL(x1);
  VLM_LOCAL(y1);
  VLM_LOCAL(z1);
  VLM_LOCAL(d);
  VLM_LOCAL(best);
  VLM_LOCAL(i);
  VLM_LOCAL(k);
  VLM_LOCAL(sx);
  VLM_LOCAL(sy);
  VLM_LOCAL(sz);

  LINE0(78);
  hitObject = 0;
  // The ray runs from the near plane to the far plane under the pointer.
  LINE0(79);
  if (UnprojectFromScreen(mx, my, 0, x0, y0, z0) == 0) return;
  LINE0(80);
  if (UnprojectFromScreen(mx, my, 1, x1, y1, z1) == 0) return;
  LINE0(81);
  FOR_TO(i, 1, count) {
    LINE0(82);
    SetMovementTranslation(At(ox, i), 0, 0);
    LINE0(83);
    d = RayCollision(i, 0, x0, y0, z0, x1 - x0, y1 - y0, z1 - z0);
    LINE0(84);
    if (d > 0 && (best == 0 || d < best)) {
      LINE0(85);
      best = d;
      LINE0(86);
      hitObject = i;
      LINE0(87);
      hitTriangle = GetHitTriangle();
    }
  }
  LINE0(88);
  if (hitObject == 0) return;
  LINE0(89);
  GetMeshTriangle(hitObject, 0, hitTriangle, tri);
  LINE0(90);
  FOR_TO(k, 0, 2) {
    LINE0(91);
    ProjectToScreen(At(tri, k, 0) + At(ox, hitObject), At(tri, k, 1), At(tri, k, 2), sx, sy, sz);
    LINE0(92);
    At(hx, k) = sx;
    LINE0(93);
    At(hy, k) = sy;
  }
}

void drawHighlight() {
  VLM_ROUTINE();
  Number k;
  VLM_LOCAL(k);

  LINE0(94);
  BeginPoly(-1, kPolyTriangles);
  LINE0(95);
  FOR_TO(k, 0, 2) {
    LINE0(96);
    AddPolyVertex(At(hx, k), At(hy, k), 0, 0, 0x00FFFF);
  }
  LINE0(97);
  EndPoly();
}

}  // namespace viewer
