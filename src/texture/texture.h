// The marble texture object, made once at start-up.
#pragma once

// Reads "marmor.bmp" from the working directory and uploads it; on success
// its name is in scene.textureName, otherwise that stays 0 and no GL call is
// made. Needs a current GL context.
void loadTexture();
