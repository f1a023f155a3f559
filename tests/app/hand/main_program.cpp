// Module 0 (polyvane.bas): the main program, showFPS and createFloor.
#include "polyvane.h"

namespace polyvane {

namespace {

// (rc AND 255) + (gc AND 255) * 256 + (bc AND 255) * 65536 of object k, the
// colour argument of statements 45-49.
Number packedColour(Number k) {
  return (Trunc(At(rc, k)) & 255) + (Trunc(At(gc, k)) & 255) * 256 + (Trunc(At(bc, k)) & 255) * 65536;
}

// IF EOF(1) THEN x = 0 ELSE ReadNumberLine(1, x): a scene that could not be
// opened, or that ends early, reads as zeros instead of ending the program.
void readNumber(Number& x) {
  if (EndOfFile(1))
    x = 0;
  else
    ReadNumberLine(1, x);
}

// IF x - x <> 0: true only for NaN and the infinities, which a count read
// from the scene must not be (a loop to infinity never ends).
bool isFinite(Number x) { return !(x - x != 0); }

}  // namespace

void startUp(RoutineFrame& vlm_frame_, MainCounters& counters) {
  LINE0(1);
  SetScreenMode(1024, 768, 0);
  LINE0(2);
  SetMeshTextureMode(1);
  LINE0(3);
  z = 1000;
  LINE0(4);
  DimArray(orx, Trunc(z));
  LINE0(5);
  DimArray(ory, Trunc(z));
  LINE0(6);
  DimArray(orz, Trunc(z));
  LINE0(7);
  DimArray(opx, Trunc(z));
  LINE0(8);
  DimArray(opy, Trunc(z));
  LINE0(9);
  DimArray(opz, Trunc(z));
  LINE0(10);
  DimArray(osx, Trunc(z));
  LINE0(11);
  DimArray(osy, Trunc(z));
  LINE0(12);
  DimArray(osz, Trunc(z));
  LINE0(13);
  DimArray(rc, Trunc(z));
  LINE0(14);
  DimArray(gc, Trunc(z));
  LINE0(15);
  DimArray(bc, Trunc(z));
  LINE0(16);
  DimArray(nt, Trunc(z));
  LINE0(17);
  DimArray(ot, Trunc(z));
  readScene(vlm_frame_, counters);
  LINE0(53);
  ClearScreen(0xFF8080);
}

void readScene(RoutineFrame& vlm_frame_, MainCounters& counters) {
  Number& i1 = counters.textures;
  Number& i2 = counters.objects;
  LINE0(18);
  test_Str = kSceneFileText;
  LINE0(19);
  OpenFile(1, test_Str.c_str(), 1);
  LINE0(20);
  readNumber(ktm);
  LINE0(21);
  if (!isFinite(ktm)) ktm = 0;
  LINE0(22);
  FOR_TO(i1, 1, ktm) {
    // Past the end of the scene every further name would be empty and its
    // load could only fail: the loop ends there, whatever the count says.
    LINE0(23);
    if (EndOfFile(1))
      break;
    else
      ReadLine(1, a_Str);
    LINE0(24);
    LoadSprite(BasicString(kMediaText) + a_Str, Trunc(i1));
  }
  LINE0(25);
  readNumber(nm);
  LINE0(26);
  if (!isFinite(nm)) nm = 0;
  LINE0(27);
  FOR_TO(i2, 1, nm) {
    LINE0(28);
    readNumber(At(ot, i2));
    LINE0(29);
    readNumber(OSG);
    LINE0(30);
    readNumber(At(orx, i2));
    LINE0(31);
    readNumber(At(ory, i2));
    LINE0(32);
    readNumber(At(orz, i2));
    LINE0(33);
    readNumber(At(osx, i2));
    LINE0(34);
    readNumber(At(osy, i2));
    LINE0(35);
    readNumber(At(osz, i2));
    LINE0(36);
    readNumber(At(opx, i2));
    LINE0(37);
    readNumber(At(opy, i2));
    LINE0(38);
    readNumber(At(opz, i2));
    LINE0(39);
    readNumber(At(rc, i2));
    LINE0(40);
    readNumber(At(gc, i2));
    LINE0(41);
    readNumber(At(bc, i2));
    LINE0(42);
    readNumber(At(nt, i2));
    LINE0(43);
    readNumber(u);
    LINE0(44);
    readNumber(v);
    // The file gives tile sizes; the generators take repeat factors.
    LINE0(45);
    u = 1 / u;
    LINE0(46);
    v = 1 / v;
    LINE0(47);
    if (At(ot, i2) == 1) createSphere(i2, 5, 16, packedColour(i2), u, v);
    LINE0(48);
    if (At(ot, i2) == 2) createBox(i2, 10, packedColour(i2), u, v);
    LINE0(49);
    if (At(ot, i2) == 3) createCylinder(i2, 5, 0, 10, 10, 1, packedColour(i2), u, v);
    LINE0(50);
    if (At(ot, i2) == 4) createCylinder(i2, 5, 5, 10, 15, 1, packedColour(i2), u, v);
    LINE0(51);
    if (At(ot, i2) == 5) createFloor(i2, packedColour(i2), u, v);
  }
  LINE0(52);
  CloseFile(1);
}

void drawObjects(RoutineFrame& vlm_frame_, Number& i, int32_t firstLine) {
  // Statement numbers relative to the pass's FOR statement.
  const int32_t at = firstLine;
  LINE0(at);
  FOR_TO(i, 1, nm) {
    LINE0(at + 1);
    if (At(ot, i) != 0) {
      LINE0(at + 2);
      SetMeshTextures(Trunc(At(nt, i)), -1);
      LINE0(at + 3);
      SetMovementTranslation(5 * At(opx, i), 5 * At(opy, i), 5 * At(opz, i));
      // Cylinders (type 4) take the file's y and z scale the other way round.
      LINE0(at + 4);
      if (At(ot, i) == 4)
        SetMovementScale(At(osx, i), At(osz, i), At(osy, i));
      else
        SetMovementScale(At(osx, i), At(osy, i), At(osz, i));
      // Cones and cylinders are built along z: a quarter turn less about x
      // stands them up. Floors are not turned.
      LINE0(at + 5);
      if (At(ot, i) >= 3 && At(ot, i) <= 4) {
        LINE0(at + 6);
        AddMovementRotation(90, At(orx, i) - 90, At(ory, i), At(orz, i));
      } else if (At(ot, i) == 5) {
        LINE0(at + 7);
        AddMovementRotation(0, At(orx, i), At(orz, i), At(ory, i));
      } else {
        LINE0(at + 8);
        AddMovementRotation(90, At(orx, i), At(ory, i), At(orz, i));
      }
      LINE0(at + 9);
      DrawMesh(i, 0);
    }
  }
}

void drawFrame(RoutineFrame& vlm_frame_, MainCounters& counters) {
  LINE0(54);
  Begin3D(10, 1600, 45);
  LINE0(55);
  GetMouseState(mx, my, mb1, mb2);
  // 640 pixels of mouse travel make a full turn of the camera.
  LINE0(56);
  mx = mx * 360 / 640;
  LINE0(57);
  SetCamera(200 * SinDeg(mx), 2 * my - 100, 200 * CosDeg(mx), 0, 0, 0);
  LINE0(58);
  DrawAxes3D(0, 0, 0);
  LINE0(59);
  SetFog(0xDE8000, 1, 0.00007, 0);
  LINE0(60);
  SetCullMode(1);
  drawObjects(vlm_frame_, counters.pass1, 61);  // statements 61-70
  // The second pass draws the same objects again with the shadow effect on:
  // they now only cast their shadow volumes.
  LINE0(71);
  SetLight(-3, 0x400000, -110, 110, -110, 0, 0, 0, 360);
  drawObjects(vlm_frame_, counters.pass2, 72);  // statements 72-81
  LINE0(82);
  End3D();
  LINE0(83);
  showFPS();
  LINE0(84);
  ShowScreen();
}

void mainProgram() {
  VLM_ROUTINE();
  MainCounters counters;
  VLM_LOCAL_AS(counters.textures, "i");
  VLM_LOCAL_AS(counters.objects, "i");
  VLM_LOCAL_AS(counters.pass1, "i");
  VLM_LOCAL_AS(counters.pass2, "i");
  startUp(vlm_frame_, counters);
  for (;;) drawFrame(vlm_frame_, counters);
}

void showFPS() {
  VLM_ROUTINE();
  Number delta_time, shwFPS;
  VLM_LOCAL(delta_time);
  VLM_LOCAL(shwFPS);

  LINE0(85);
  delta_time = GetFrameDelta();
  LINE0(86);
  g_frame = g_frame + 1;
  LINE0(87);
  g_time = g_time + delta_time;
  // The rate shown is the average over the first span of more than 800 ms.
  LINE0(88);
  if (g_time > 800) {
    LINE0(89);
    g_shwFPS = g_frame / g_time * 1000;
    LINE0(90);
    g_time = 0;
    LINE0(91);
    g_frame = 0;
  }
  LINE0(92);
  SetAlphaMode(0);
  LINE0(93);
  PrintText(BasicString(kFpsText) + IntegerToText(Trunc(g_shwFPS)), 900, 10, 0);
}

void createFloor(Number num, Number col, Number u, Number v) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(col);
  VLM_PARAM(u);
  VLM_PARAM(v);

  LINE0(94);
  SetMeshNormalMode(1);
  LINE0(95);
  BeginMesh(num);
  LINE0(96);
  AddMeshVertex(-2, 0, -2, 0, 0, col);
  LINE0(97);
  AddMeshVertex(2, 0, -2, u, 0, col);
  LINE0(98);
  AddMeshVertex(-2, 0, 2, 0, v, col);
  LINE0(99);
  AddMeshVertex(2, 0, 2, u, v, col);
  LINE0(100);
  EndMesh();
}

}  // namespace polyvane
