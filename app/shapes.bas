' Polyvane's shape generators, module 1 of the program (createFloor is in
' module 0, polyvane.bas). Each builds one numbered mesh object from triangle
' strips. Angles are in degrees; FOR loops count inclusively and test before
' the first pass. The numbers in the left margin count the statements of the
' module, as in polyvane.bas.

' A latitude-longitude sphere about the origin, pole axis y: n / 2 bands,
' one strip each.
FUNCTION createSphere(num, r, n, col, u, v)
  LOCAL i, j, theta1, theta2, theta3, pi
  1  pi = 2 * ACOS(0)
  2  IF r < 0 THEN r = -r
  3  IF n < 4 THEN n = 4
  4  SetMeshNormalMode(2)
  5  BeginMesh(num)
  6  FOR j = 0 TO INT(n * 0.5) - 1
  7    theta1 = 2 * j * pi / n - pi * 0.5
  8    theta2 = 2 * (j + 1) * pi / n - pi * 0.5
  9    FOR i = 0 TO n
 10      theta3 = 2 * i * pi / n
 11      AddMeshVertex(r * COS(theta2) * COS(theta3), r * SIN(theta2), r * COS(theta2) * SIN(theta3), u * i / n, v * 2 * (j + 1) / n, col)
 12      AddMeshVertex(r * COS(theta1) * COS(theta3), r * SIN(theta1), r * COS(theta1) * SIN(theta3), u * i / n, v * 2 * j / n, col)
       NEXT
 13    NewMeshStrip()
     NEXT
 14  EndMesh()
END FUNCTION

' An axis-aligned cube of edge sz about the origin: six strips of four
' vertices, faces +z, -z, +y, -y, +x, -x.
FUNCTION createBox(num, sz, col, u, v)
 15  SetMeshNormalMode(1)
 16  sz = sz * 0.5
 17  BeginMesh(num)
 18  AddMeshVertex(sz, -sz, sz, u, 0, col)
 19  AddMeshVertex(-sz, -sz, sz, 0, 0, col)
 20  AddMeshVertex(sz, sz, sz, u, v, col)
 21  AddMeshVertex(-sz, sz, sz, 0, v, col)
 22  NewMeshStrip()
 23  AddMeshVertex(-sz, sz, -sz, u, v, col)
 24  AddMeshVertex(-sz, -sz, -sz, u, 0, col)
 25  AddMeshVertex(sz, sz, -sz, 0, v, col)
 26  AddMeshVertex(sz, -sz, -sz, 0, 0, col)
 27  NewMeshStrip()
 28  AddMeshVertex(-sz, sz, sz, 0, 0, col)
 29  AddMeshVertex(-sz, sz, -sz, 0, v, col)
 30  AddMeshVertex(sz, sz, sz, u, 0, col)
 31  AddMeshVertex(sz, sz, -sz, u, v, col)
 32  NewMeshStrip()
 33  AddMeshVertex(sz, -sz, -sz, 0, v, col)
 34  AddMeshVertex(-sz, -sz, -sz, u, v, col)
 35  AddMeshVertex(sz, -sz, sz, 0, 0, col)
 36  AddMeshVertex(-sz, -sz, sz, u, 0, col)
 37  NewMeshStrip()
 38  AddMeshVertex(sz, sz, -sz, u, v, col)
 39  AddMeshVertex(sz, -sz, -sz, u, 0, col)
 40  AddMeshVertex(sz, sz, sz, 0, v, col)
 41  AddMeshVertex(sz, -sz, sz, 0, 0, col)
 42  NewMeshStrip()
 43  AddMeshVertex(-sz, -sz, sz, u, 0, col)
 44  AddMeshVertex(-sz, -sz, -sz, 0, 0, col)
 45  AddMeshVertex(-sz, sz, sz, u, v, col)
 46  AddMeshVertex(-sz, sz, -sz, 0, v, col)
 47  NewMeshStrip()
 48  EndMesh()
END FUNCTION

' A cylinder, cone or frustum around the z axis from z = 0 (baseRadius) to
' z = height (topRadius), slice by slice: a bottom-cap triangle, a side strip
' and a top-cap triangle; a radius of 0 leaves its cap out.
FUNCTION createCylinder(num, baseRadius, topRadius, height, slices, stacks, col, u, v)
  LOCAL da, r, dr, dz, x, y, z, i, j, x1, y1, x2, y2
 49  da = 360 / slices
 50  dr = (topRadius - baseRadius) / stacks
 51  dz = height / stacks
 52  SetMeshNormalMode(2)
 53  BeginMesh(num)
 54  FOR i = 0 TO slices - 1
 55    x1 = COS(da * i)
 56    y1 = SIN(da * i)
 57    x2 = COS(da * (i + 1))
 58    y2 = SIN(da * (i + 1))
 59    z = 0
 60    r = baseRadius
 61    IF baseRadius > 0
 62      AddMeshVertex(0, 0, 0, 0.5, 0.5, col)
 63      AddMeshVertex(r * x1, r * y1, 0, (x1 * 0.5 + 0.5) * u, (y1 * 0.5 + 0.5) * v, col)
 64      AddMeshVertex(r * x2, r * y2, 0, (x2 * 0.5 + 0.5) * u, (y2 * 0.5 + 0.5) * v, col)
 65      NewMeshStrip()
       ENDIF
 66    FOR j = 0 TO stacks
 67      AddMeshVertex(r * x2, r * y2, z, u * (i + 1) / slices, v * j / stacks, col)
 68      AddMeshVertex(r * x1, r * y1, z, u * i / slices, v * j / stacks, col)
 69      z = z + dz
 70      r = r + dr
       NEXT
 71    IF topRadius > 0
 72      NewMeshStrip()
 73      AddMeshVertex(topRadius * x2, topRadius * y2, height, (x2 * 0.5 + 0.5) * u, (y2 * 0.5 + 0.5) * v, col)
 74      AddMeshVertex(topRadius * x1, topRadius * y1, height, (x1 * 0.5 + 0.5) * u, (y1 * 0.5 + 0.5) * v, col)
 75      AddMeshVertex(0, 0, height, 0.5, 0.5, col)
       ENDIF
 76    NewMeshStrip()
     NEXT
 77  EndMesh()
END FUNCTION

' A torus around the y axis laid down as one strip per wrap, wound NumWraps
' times around the ring with NumPerWrap steps per turn of the tube. The
' positions wrap at the seams; the texture coordinates keep increasing.
FUNCTION createWrappedTorus(num, MinorRadius, MajorRadius, NumWraps, NumPerWrap, TextureWrapVert, TextureWrapHoriz, col)
  LOCAL i, di, j, wrapFrac, wrapFracTex, phi, thetaFrac, thetaFracTex, theta, x, y, z, r
 78  SetMeshNormalMode(2)
 79  BeginMesh(num)
 80  FOR di = 0 TO NumWraps - 1
 81    FOR j = 0 TO NumPerWrap
 82      FOR i = di + 1 TO di STEP -1
 83        wrapFrac = IntMod(j, NumPerWrap) / NumPerWrap
 84        wrapFracTex = j / NumPerWrap
 85        phi = 360 * wrapFrac
 86        thetaFrac = (IntMod(i, NumWraps) + wrapFracTex) / NumWraps
 87        thetaFracTex = (i + wrapFracTex) / NumWraps
 88        theta = 360 * thetaFrac
 89        r = MajorRadius + MinorRadius * COS(phi)
 90        x = SIN(theta) * r
 91        z = COS(theta) * r
 92        y = SIN(phi) * MinorRadius
 93        AddMeshVertex(x, y, z, TextureWrapVert * thetaFracTex, TextureWrapHoriz * wrapFracTex, col)
         NEXT
       NEXT
 94    NewMeshStrip()
     NEXT
 95  EndMesh()
END FUNCTION

' A coil spring: a tube of radius R2 along a helix of radius R1 that turns
' cycles times around the y axis while rising by height. One strip per band
' along the tube, Nv quads of four vertices each.
FUNCTION createCoilSpring(num, R1, R2, Nu, Nv, cycles, height, col)
  LOCAL du, dv, u, v, x, y, z, tx, ty, q, nu, nv, i, j, qu, qv
 96  du = cycles * 360 / Nu
 97  dv = 360 / Nv
 98  SetMeshNormalMode(2)
 99  BeginMesh(num)
100  FOR i = 0 TO Nu - 1
101    u = du * i
102    FOR j = 0 TO Nv - 1
103      v = dv * j
104      FOR q = 0 TO 3
105        nu = IntMod(q, 2)
106        nv = INT(q * 0.5)
107        qu = u + du * nu
108        qv = v + dv * nv
109        x = (R2 * COS(qv) / R1 + 1) * (COS(qu) * R1)
110        z = (R2 * COS(qv) / R1 + 1) * (SIN(qu) * R1)
111        y = SIN(qv) * R2 + height * qu / (cycles * 360)
112        tx = (i + nu) / Nu * cycles
113        ty = (j + nv) / Nv
114        AddMeshVertex(x, y, z, tx, ty, col)
         NEXT
       NEXT
115    NewMeshStrip()
     NEXT
116  EndMesh()
END FUNCTION

' A spiral ramp (helicoid) from the y axis out to radius R1, turning cycles
' times while rising by height; loops and strips as createCoilSpring.
FUNCTION createSpiralRibbon(num, R1, Nu, Nv, cycles, height, col)
  LOCAL du, dv, u, v, x, y, z, tx, ty, q, nu, nv, i, j, qu, qv
117  du = 360 * cycles / Nu
118  dv = R1 / Nv
119  SetMeshNormalMode(2)
120  BeginMesh(num)
121  FOR i = 0 TO Nu - 1
122    u = du * i
123    FOR j = 0 TO Nv - 1
124      v = dv * j
125      FOR q = 0 TO 3
126        nu = IntMod(q, 2)
127        nv = INT(q * 0.5)
128        qu = u + du * nu
129        qv = v + dv * nv
130        x = COS(qu) * qv
131        z = SIN(qu) * qv
132        y = qu / (cycles * 360) * height
133        tx = (i + nu) / Nu * cycles
134        ty = (j + nv) / Nv
135        AddMeshVertex(x, y, z, tx, ty, col)
         NEXT
       NEXT
136    NewMeshStrip()
     NEXT
137  EndMesh()
END FUNCTION

' A white cube of edge 1 about the origin as one strip of 14 vertices; s
' lists the corners (1..8) in strip order. sz is not used.
FUNCTION createStripCube(num, sz)
  LOCAL s[], n, m, x, y, z
138  DIM s[14]
139  s[0] = 4
140  s[1] = 3
141  s[2] = 8
142  s[3] = 7
143  s[4] = 5
144  s[5] = 3
145  s[6] = 1
146  s[7] = 4
147  s[8] = 2
148  s[9] = 8
149  s[10] = 6
150  s[11] = 5
151  s[12] = 2
152  s[13] = 1
153  BeginMesh(num)
154  FOR m = 0 TO 13
155    n = s[m] - 1
156    x = IntMod(n, 2)
157    y = 1 - INT(n * 0.25)
158    z = 1 - IntMod(INT(n * 0.5), 2)
159    AddMeshVertex(x - 0.5, y - 0.5, z - 0.5, 0, 0, $FFFFFF)
       NEXT
160  EndMesh()
END FUNCTION
