// The viewer's shader, vertex stage: the fixed transform, the vertex colour passed on.
#version 110
void main() {
  gl_FrontColor = gl_Color;
  gl_BackColor = gl_Color;
  gl_Position = ftransform();
}
