// Window creation, the one-time render state and the per-frame drawing.
#pragma once

// Prints nothing; creates the 400 x 400 "Ovrik-Logo" window at the top-left
// corner, sets up the render state and registers the GLUT callbacks.
// Call once per process: GLUT allows only one glutInit.
void openWindow(int* argc, char** argv);

// Fixed GL state every frame relies on; needs a current GL context.
void initRendering();

// GLUT display callback: draws one frame and swaps the buffers.
void display();
