// The GLUT input callbacks: each changes the scene state and, where the
// picture changes, asks for a redraw.
#pragma once

void keyboard(unsigned char key, int x, int y);
void motion(int x, int y);
void reshape(int width, int height);
