// The one texture object of the logo, made once at start-up.
#pragma once

// The marble: reads a BMP, PNG or JPEG picture (fileName, or fallbackName
// when there is no fileName, see loadPicture) at its own size and uploads it
// as a repeating, linearly filtered texture that modulates the lit material
// colour. Returns the texture name, or 0 when there is none: the reader then
// has printed why, or the picture was more than this OpenGL takes, which is
// printed here. Makes no GL call when the file cannot be read. Needs a
// current GL context.
unsigned int loadTexture(const char* fileName, const char* fallbackName = nullptr);

// The most pixels per side a picture the user names is reduced to: in the
// window the texture's repeat of 2 units spans some 160 pixels, at full
// screen some 850, so nothing visible is lost.
constexpr int namedPictureSide = 1024;

// A picture the user named: as loadTexture, but reduced on loading to at
// most namedPictureSide (and this OpenGL's largest side), and mipmapped, so
// that a fine pattern shows as its average rather than as moire.
unsigned int loadNamedTexture(const char* fileName);
