#include "app/save_model.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/render.h"
#include "app/scene.h"
#include "logo/glb_writer.h"
#include "logo/mesh.h"
#include "logo/model_files.h"
#include "picture/write/model_picture.h"
#include "texture/texture.h"

namespace {

ModelView modelView(const ViewOptions& options) {
    ModelView view;
    view.turn = {options.view.angleX, options.view.angleY, options.view.angleZ};
    view.colour = options.view.logoColor;
    const LightPlacement light = options.light.value_or(LightPlacement{0, 0});
    view.light = {light.x, light.y};
    view.width = options.save.width;
    view.height = options.save.height;
    view.millimetresPerUnit = options.millimetresPerUnit;
    view.frames = options.clip.frames;
    view.spin = options.clip.spin;
    view.framesPerSecond = options.clip.framesPerSecond;
    return view;
}

// The picture the window would lay over the logo, read as the window reads
// it: the named one reduced, else the marble. False after the reader's own
// line (`error` empty) or with why it could not be encoded.
bool readModelPicture(ModelPicture& picture, std::string& error) {
    BitmapImage image;
    const std::string marble = installedMarble();
    const char* read =
        scene.pictureFile != nullptr
            ? loadPicture(scene.pictureFile, nullptr, {nullptr, namedPictureSide, true}, &image)
            : loadPicture("marmor.bmp", marble.empty() ? nullptr : marble.c_str(), {}, &image);
    const bool encoded = read != nullptr && encodeModelPicture(image, image.lossy, picture, error);
    std::free(image.pixels);
    return encoded;
}

} // namespace

int saveModel(const ViewOptions& options) {
    const std::string output = options.output;
    const ModelKind kind = modelKindOf(output);
    const std::string path = isModelStream(output) ? "-" : output;
    LogoMesh mesh;
    try {
        mesh = buildLogoMesh(scene.shape);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "ovrik-logo: cannot make the model: %s\n", failure.what());
        return 1;
    }
    std::string failed = path, error;
    bool saved = false;
    ModelPicture picture;
    if (kind == ModelKind::stl) {
        saved = writeStl(path, STDOUT_FILENO, mesh, options.millimetresPerUnit, error);
    } else if (!readModelPicture(picture, error)) {
        if (error.empty()) {
            return 1; // the reader has said why
        }
    } else if (kind == ModelKind::obj) {
        saved = writeObjFiles(path, mesh, modelView(options), picture, failed, error);
    } else {
        std::vector<unsigned char> glb;
        saved = writeGlbModel(mesh, modelView(options), picture, "ovrik-logo " OVRIK_VERSION, glb,
                              error) &&
                writeModelFile(path, STDOUT_FILENO, glb, error);
    }
    if (!saved) {
        std::fprintf(stderr, "ovrik-logo: cannot write %s: %s\n", failed.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
