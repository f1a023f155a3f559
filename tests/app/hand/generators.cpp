// Module 1 (shapes.bas): the shape generators. Each builds one numbered
// mesh object from triangle strips; the object number, counts and colour are
// truncated by the mesh operations themselves.
#include "polyvane.h"

namespace polyvane {

void createSphere(Number num, Number r, Number n, Number col, Number u, Number v) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(r);
  VLM_PARAM(n);
  VLM_PARAM(col);
  VLM_PARAM(u);
  VLM_PARAM(v);
  Number i, j, theta1, theta2, theta3, pi;
  VLM_LOCAL(i);
  VLM_LOCAL(j);
  VLM_LOCAL(theta1);
  VLM_LOCAL(theta2);
  VLM_LOCAL(theta3);
  VLM_LOCAL(pi);

  LINE1(1);
  pi = 2 * AcosDeg(0);
  LINE1(2);
  if (r < 0) r = -r;
  LINE1(3);
  if (n < 4) n = 4;
  LINE1(4);
  SetMeshNormalMode(2);
  LINE1(5);
  BeginMesh(num);
  LINE1(6);
  FOR_TO(j, 0, Trunc(n * 0.5) - 1.0) {
    LINE1(7);
    theta1 = 2 * j * pi / n - pi * 0.5;
    LINE1(8);
    theta2 = 2 * (j + 1) * pi / n - pi * 0.5;
    LINE1(9);
    FOR_TO(i, 0, n) {
      LINE1(10);
      theta3 = 2 * i * pi / n;
      LINE1(11);
      AddMeshVertex(r * CosDeg(theta2) * CosDeg(theta3), r * SinDeg(theta2), r * CosDeg(theta2) * SinDeg(theta3),
                    u * i / n, v * 2 * (j + 1) / n, col);
      LINE1(12);
      AddMeshVertex(r * CosDeg(theta1) * CosDeg(theta3), r * SinDeg(theta1), r * CosDeg(theta1) * SinDeg(theta3),
                    u * i / n, v * 2 * j / n, col);
    }
    LINE1(13);
    NewMeshStrip();
  }
  LINE1(14);
  EndMesh();
}

void createBox(Number num, Number sz, Number col, Number u, Number v) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(sz);
  VLM_PARAM(col);
  VLM_PARAM(u);
  VLM_PARAM(v);

  LINE1(15);
  SetMeshNormalMode(1);
  LINE1(16);
  sz = sz * 0.5;  // half the edge from here on
  LINE1(17);
  BeginMesh(num);
  // +z
  LINE1(18);
  AddMeshVertex(sz, -sz, sz, u, 0, col);
  LINE1(19);
  AddMeshVertex(-sz, -sz, sz, 0, 0, col);
  LINE1(20);
  AddMeshVertex(sz, sz, sz, u, v, col);
  LINE1(21);
  AddMeshVertex(-sz, sz, sz, 0, v, col);
  LINE1(22);
  NewMeshStrip();
  // -z
  LINE1(23);
  AddMeshVertex(-sz, sz, -sz, u, v, col);
  LINE1(24);
  AddMeshVertex(-sz, -sz, -sz, u, 0, col);
  LINE1(25);
  AddMeshVertex(sz, sz, -sz, 0, v, col);
  LINE1(26);
  AddMeshVertex(sz, -sz, -sz, 0, 0, col);
  LINE1(27);
  NewMeshStrip();
  // +y
  LINE1(28);
  AddMeshVertex(-sz, sz, sz, 0, 0, col);
  LINE1(29);
  AddMeshVertex(-sz, sz, -sz, 0, v, col);
  LINE1(30);
  AddMeshVertex(sz, sz, sz, u, 0, col);
  LINE1(31);
  AddMeshVertex(sz, sz, -sz, u, v, col);
  LINE1(32);
  NewMeshStrip();
  // -y
  LINE1(33);
  AddMeshVertex(sz, -sz, -sz, 0, v, col);
  LINE1(34);
  AddMeshVertex(-sz, -sz, -sz, u, v, col);
  LINE1(35);
  AddMeshVertex(sz, -sz, sz, 0, 0, col);
  LINE1(36);
  AddMeshVertex(-sz, -sz, sz, u, 0, col);
  LINE1(37);
  NewMeshStrip();
  // +x
  LINE1(38);
  AddMeshVertex(sz, sz, -sz, u, v, col);
  LINE1(39);
  AddMeshVertex(sz, -sz, -sz, u, 0, col);
  LINE1(40);
  AddMeshVertex(sz, sz, sz, 0, v, col);
  LINE1(41);
  AddMeshVertex(sz, -sz, sz, 0, 0, col);
  LINE1(42);
  NewMeshStrip();
  // -x
  LINE1(43);
  AddMeshVertex(-sz, -sz, sz, u, 0, col);
  LINE1(44);
  AddMeshVertex(-sz, -sz, -sz, 0, 0, col);
  LINE1(45);
  AddMeshVertex(-sz, sz, sz, u, v, col);
  LINE1(46);
  AddMeshVertex(-sz, sz, -sz, 0, v, col);
  LINE1(47);
  NewMeshStrip();
  LINE1(48);
  EndMesh();
}

void createCylinder(Number num, Number baseRadius, Number topRadius, Number height, Number slices,
                    Number stacks, Number col, Number u, Number v) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(baseRadius);
  VLM_PARAM(topRadius);
  VLM_PARAM(height);
  VLM_PARAM(slices);
  VLM_PARAM(stacks);
  VLM_PARAM(col);
  VLM_PARAM(u);
  VLM_PARAM(v);
  Number da, r, dr, dz, x, y, z, i, j, x1, y1, x2, y2;
  VLM_LOCAL(da);
  VLM_LOCAL(r);
  VLM_LOCAL(dr);
  VLM_LOCAL(dz);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(z);
  VLM_LOCAL(i);
  VLM_LOCAL(j);
  VLM_LOCAL(x1);
  VLM_LOCAL(y1);
  VLM_LOCAL(x2);
  VLM_LOCAL(y2);

  LINE1(49);
  da = 360 / slices;
  LINE1(50);
  dr = (topRadius - baseRadius) / stacks;
  LINE1(51);
  dz = height / stacks;
  LINE1(52);
  SetMeshNormalMode(2);
  LINE1(53);
  BeginMesh(num);
  LINE1(54);
  FOR_TO(i, 0, slices - 1) {
    LINE1(55);
    x1 = CosDeg(da * i);
    LINE1(56);
    y1 = SinDeg(da * i);
    LINE1(57);
    x2 = CosDeg(da * (i + 1));
    LINE1(58);
    y2 = SinDeg(da * (i + 1));
    LINE1(59);
    z = 0;
    LINE1(60);
    r = baseRadius;
    LINE1(61);
    if (baseRadius > 0) {
      // Bottom cap: the centre's texture coordinates are not scaled.
      LINE1(62);
      AddMeshVertex(0, 0, 0, 0.5, 0.5, col);
      LINE1(63);
      AddMeshVertex(r * x1, r * y1, 0, (x1 * 0.5 + 0.5) * u, (y1 * 0.5 + 0.5) * v, col);
      LINE1(64);
      AddMeshVertex(r * x2, r * y2, 0, (x2 * 0.5 + 0.5) * u, (y2 * 0.5 + 0.5) * v, col);
      LINE1(65);
      NewMeshStrip();
    }
    LINE1(66);
    FOR_TO(j, 0, stacks) {
      LINE1(67);
      AddMeshVertex(r * x2, r * y2, z, u * (i + 1) / slices, v * j / stacks, col);
      LINE1(68);
      AddMeshVertex(r * x1, r * y1, z, u * i / slices, v * j / stacks, col);
      LINE1(69);
      z = z + dz;
      LINE1(70);
      r = r + dr;
    }
    LINE1(71);
    if (topRadius > 0) {
      // Top cap, wound the other way round so that it faces outward too.
      LINE1(72);
      NewMeshStrip();
      LINE1(73);
      AddMeshVertex(topRadius * x2, topRadius * y2, height, (x2 * 0.5 + 0.5) * u, (y2 * 0.5 + 0.5) * v, col);
      LINE1(74);
      AddMeshVertex(topRadius * x1, topRadius * y1, height, (x1 * 0.5 + 0.5) * u, (y1 * 0.5 + 0.5) * v, col);
      LINE1(75);
      AddMeshVertex(0, 0, height, 0.5, 0.5, col);
    }
    LINE1(76);
    NewMeshStrip();
  }
  LINE1(77);
  EndMesh();
}

void createWrappedTorus(Number num, Number MinorRadius, Number MajorRadius, Number NumWraps,
                        Number NumPerWrap, Number TextureWrapVert, Number TextureWrapHoriz, Number col) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(MinorRadius);
  VLM_PARAM(MajorRadius);
  VLM_PARAM(NumWraps);
  VLM_PARAM(NumPerWrap);
  VLM_PARAM(TextureWrapVert);
  VLM_PARAM(TextureWrapHoriz);
  VLM_PARAM(col);
  Number i, di, j, wrapFrac, wrapFracTex, phi, thetaFrac, thetaFracTex, theta, x, y, z, r;
  VLM_LOCAL(i);
  VLM_LOCAL(di);
  VLM_LOCAL(j);
  VLM_LOCAL(wrapFrac);
  VLM_LOCAL(wrapFracTex);
  VLM_LOCAL(phi);
  VLM_LOCAL(thetaFrac);
  VLM_LOCAL(thetaFracTex);
  VLM_LOCAL(theta);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(z);
  VLM_LOCAL(r);

  LINE1(78);
  SetMeshNormalMode(2);
  LINE1(79);
  BeginMesh(num);
  LINE1(80);
  FOR_TO(di, 0, NumWraps - 1) {
    LINE1(81);
    FOR_TO(j, 0, NumPerWrap) {
      LINE1(82);
      FOR_DOWN_TO(i, di + 1, di) {
        // The remainders bring the positions back to the start at the seams;
        // the texture fractions keep growing.
        LINE1(83);
        wrapFrac = IntMod(Trunc(j), Trunc(NumPerWrap)) / NumPerWrap;
        LINE1(84);
        wrapFracTex = j / NumPerWrap;
        LINE1(85);
        phi = 360 * wrapFrac;
        LINE1(86);
        thetaFrac = (IntMod(Trunc(i), Trunc(NumWraps)) + wrapFracTex) / NumWraps;
        LINE1(87);
        thetaFracTex = (i + wrapFracTex) / NumWraps;
        LINE1(88);
        theta = 360 * thetaFrac;
        LINE1(89);
        r = MajorRadius + MinorRadius * CosDeg(phi);
        LINE1(90);
        x = SinDeg(theta) * r;
        LINE1(91);
        z = CosDeg(theta) * r;
        LINE1(92);
        y = SinDeg(phi) * MinorRadius;
        LINE1(93);
        AddMeshVertex(x, y, z, TextureWrapVert * thetaFracTex, TextureWrapHoriz * wrapFracTex, col);
      }
    }
    LINE1(94);
    NewMeshStrip();
  }
  LINE1(95);
  EndMesh();
}

void createCoilSpring(Number num, Number R1, Number R2, Number Nu, Number Nv, Number cycles, Number height,
                      Number col) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(R1);
  VLM_PARAM(R2);
  VLM_PARAM(Nu);
  VLM_PARAM(Nv);
  VLM_PARAM(cycles);
  VLM_PARAM(height);
  VLM_PARAM(col);
  Number du, dv, u, v, x, y, z, tx, ty, q, nu, nv, i, j, qu, qv;
  VLM_LOCAL(du);
  VLM_LOCAL(dv);
  VLM_LOCAL(u);
  VLM_LOCAL(v);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(z);
  VLM_LOCAL(tx);
  VLM_LOCAL(ty);
  VLM_LOCAL(q);
  VLM_LOCAL(nu);
  VLM_LOCAL(nv);
  VLM_LOCAL(i);
  VLM_LOCAL(j);
  VLM_LOCAL(qu);
  VLM_LOCAL(qv);

  LINE1(96);
  du = cycles * 360 / Nu;
  LINE1(97);
  dv = 360 / Nv;
  LINE1(98);
  SetMeshNormalMode(2);
  LINE1(99);
  BeginMesh(num);
  LINE1(100);
  FOR_TO(i, 0, Nu - 1) {
    LINE1(101);
    u = du * i;
    LINE1(102);
    FOR_TO(j, 0, Nv - 1) {
      LINE1(103);
      v = dv * j;
      LINE1(104);
      FOR_TO(q, 0, 3) {
        // q = 0..3: the corners (0, 0), (1, 0), (0, 1), (1, 1) of the quad.
        LINE1(105);
        nu = IntMod(Trunc(q), 2);
        LINE1(106);
        nv = Trunc(q * 0.5);
        LINE1(107);
        qu = u + du * nu;
        LINE1(108);
        qv = v + dv * nv;
        LINE1(109);
        x = (R2 * CosDeg(qv) / R1 + 1) * (CosDeg(qu) * R1);
        LINE1(110);
        z = (R2 * CosDeg(qv) / R1 + 1) * (SinDeg(qu) * R1);
        LINE1(111);
        y = SinDeg(qv) * R2 + height * qu / (cycles * 360);
        LINE1(112);
        tx = (i + nu) / Nu * cycles;
        LINE1(113);
        ty = (j + nv) / Nv;
        LINE1(114);
        AddMeshVertex(x, y, z, tx, ty, col);
      }
    }
    LINE1(115);
    NewMeshStrip();
  }
  LINE1(116);
  EndMesh();
}

void createSpiralRibbon(Number num, Number R1, Number Nu, Number Nv, Number cycles, Number height, Number col) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(R1);
  VLM_PARAM(Nu);
  VLM_PARAM(Nv);
  VLM_PARAM(cycles);
  VLM_PARAM(height);
  VLM_PARAM(col);
  Number du, dv, u, v, x, y, z, tx, ty, q, nu, nv, i, j, qu, qv;
  VLM_LOCAL(du);
  VLM_LOCAL(dv);
  VLM_LOCAL(u);
  VLM_LOCAL(v);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(z);
  VLM_LOCAL(tx);
  VLM_LOCAL(ty);
  VLM_LOCAL(q);
  VLM_LOCAL(nu);
  VLM_LOCAL(nv);
  VLM_LOCAL(i);
  VLM_LOCAL(j);
  VLM_LOCAL(qu);
  VLM_LOCAL(qv);

  LINE1(117);
  du = 360 * cycles / Nu;
  LINE1(118);
  dv = R1 / Nv;  // a radial step, not an angle
  LINE1(119);
  SetMeshNormalMode(2);
  LINE1(120);
  BeginMesh(num);
  LINE1(121);
  FOR_TO(i, 0, Nu - 1) {
    LINE1(122);
    u = du * i;
    LINE1(123);
    FOR_TO(j, 0, Nv - 1) {
      LINE1(124);
      v = dv * j;
      LINE1(125);
      FOR_TO(q, 0, 3) {
        LINE1(126);
        nu = IntMod(Trunc(q), 2);
        LINE1(127);
        nv = Trunc(q * 0.5);
        LINE1(128);
        qu = u + du * nu;
        LINE1(129);
        qv = v + dv * nv;
        LINE1(130);
        x = CosDeg(qu) * qv;
        LINE1(131);
        z = SinDeg(qu) * qv;
        LINE1(132);
        y = qu / (cycles * 360) * height;
        LINE1(133);
        tx = (i + nu) / Nu * cycles;
        LINE1(134);
        ty = (j + nv) / Nv;
        LINE1(135);
        AddMeshVertex(x, y, z, tx, ty, col);
      }
    }
    LINE1(136);
    NewMeshStrip();
  }
  LINE1(137);
  EndMesh();
}

void createStripCube(Number num, Number sz) {
  VLM_ROUTINE();
  VLM_PARAM(num);
  VLM_PARAM(sz);
  BasicArray<Number> s;
  Number n, m, x, y, z;
  VLM_LOCAL(s);
  VLM_LOCAL(n);
  VLM_LOCAL(m);
  VLM_LOCAL(x);
  VLM_LOCAL(y);
  VLM_LOCAL(z);

  // The corners 1..8 in strip order: corner c - 1 has x = bit 0, z = NOT
  // bit 1 and y = NOT bit 2.
  LINE1(138);
  DimArray(s, 14);
  LINE1(139);
  At(s, 0) = 4;
  LINE1(140);
  At(s, 1) = 3;
  LINE1(141);
  At(s, 2) = 8;
  LINE1(142);
  At(s, 3) = 7;
  LINE1(143);
  At(s, 4) = 5;
  LINE1(144);
  At(s, 5) = 3;
  LINE1(145);
  At(s, 6) = 1;
  LINE1(146);
  At(s, 7) = 4;
  LINE1(147);
  At(s, 8) = 2;
  LINE1(148);
  At(s, 9) = 8;
  LINE1(149);
  At(s, 10) = 6;
  LINE1(150);
  At(s, 11) = 5;
  LINE1(151);
  At(s, 12) = 2;
  LINE1(152);
  At(s, 13) = 1;
  LINE1(153);
  BeginMesh(num);
  LINE1(154);
  FOR_TO(m, 0, 13) {
    LINE1(155);
    n = At(s, m) - 1;
    LINE1(156);
    x = IntMod(Trunc(n), 2);
    LINE1(157);
    y = 1.0 - Trunc(n * 0.25);
    LINE1(158);
    z = 1.0 - IntMod(Trunc(n * 0.5), 2);
    LINE1(159);
    AddMeshVertex(x - 0.5, y - 0.5, z - 0.5, 0, 0, 0xFFFFFF);
  }
  LINE1(160);
  EndMesh();
}

}  // namespace polyvane
