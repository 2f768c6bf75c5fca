// The marble texture object, made once at start-up.
#pragma once

// Reads a BMP, PNG or JPEG picture (fileName, or fallbackName when there is
// no fileName, see loadPicture) and uploads it as a repeating, linearly
// filtered texture that modulates the lit material colour. Returns the
// texture name, or 0 when there is none: the reader then has printed why, or
// the picture was more than this OpenGL takes, which is printed here. Makes
// no GL call when the file cannot be read. Needs a current GL context.
unsigned int loadTexture(const char* fileName, const char* fallbackName = nullptr);
