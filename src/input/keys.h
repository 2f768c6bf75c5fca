// Keyboard arithmetic, kept free of GL so it can be checked directly.
#pragma once

// Adds delta, truncates to whole degrees and wraps with the sign of the
// result, so the angle stays within -359..359 and passes through 0.
double stepAngle(double angle, double delta);

// The bound replaces the value only when the exact result overshoots it;
// the stored value is the result rounded to float.
float lowerComponent(float value, float step);
float raiseComponent(float value, float step);

// Applies one key to the scene state. Returns false for Escape, which asks
// the caller to end the program; every other key returns true.
bool applyKey(unsigned char key);
