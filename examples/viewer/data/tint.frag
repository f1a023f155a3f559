// The viewer's shader, fragment stage: red and blue of the colour swapped.
#version 110
void main() {
  gl_FragColor = vec4(gl_Color.b, gl_Color.g, gl_Color.r, 1.0);
}
