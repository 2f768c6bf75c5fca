// The GLUT input callbacks: each changes the scene state and, where the
// picture changes, asks for a redraw.
#pragma once

void keyboard(unsigned char key, int x, int y);
void motion(int x, int y);
void reshape(int width, int height);

// F12 saves the view as the first free ovrik-logo-N.png in the working
// folder; it changes nothing in the picture, so asks for no redraw.
void special(int key, int x, int y);
