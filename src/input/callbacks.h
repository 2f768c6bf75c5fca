// The GLUT input callbacks; each changes the scene state only.
#pragma once

void keyboard(unsigned char key, int x, int y);
void motion(int x, int y);
void reshape(int width, int height);
