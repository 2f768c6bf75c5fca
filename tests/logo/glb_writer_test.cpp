// The .glb read back must show what the window shows, and a turntable every
// viewer interpolates alike. With OVRIK_GLB_DIR set the files stay there.
#include "logo/glb_writer.h"

#include "marble.h"
#include "picture_writer.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <tuple>

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;
const double pi = std::acos(-1.0);

template <typename T> Matrix fromQuaternion(const T* q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
             {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
             {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}}};
}

// glRotate(x, 1, 0, 0), then y, then z: Rx Ry Rz, each turning two columns.
template <typename T> void expectWindowTurn(const T* q, const std::array<double, 3>& degrees) {
    Matrix turn = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const double c = std::cos(degrees[axis] * pi / 180), s = std::sin(degrees[axis] * pi / 180);
        for (auto& row : turn) {
            std::tie(row[u], row[v]) = std::tuple(c * row[u] + s * row[v], c * row[v] - s * row[u]);
        }
    }
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(fromQuaternion(q)[i / 3][i % 3], turn[i / 3][i % 3], 1e-5);
    }
}

std::vector<float> floats(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(index);
    const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
    std::vector<float> values(accessor.count * tinygltf::GetNumComponentsInType(accessor.type));
    EXPECT_EQ(view.byteLength, values.size() * sizeof(float));
    std::memcpy(values.data(), &model.buffers[0].data.at(view.byteOffset), view.byteLength);
    return values;
}

TEST(GlbWriter, ShowsTheWindowsViewAndTurntable) {
    const LogoMesh mesh = buildLogoMesh({3.4f, 1.4f, 0.25f, 0.5f, 50.0f});
    const ModelPicture marble = {encodePng(60, 60, makeMarble(60)), "image/png", "png"};
    ModelView turned, tall, turntable, oneFrame, tumble;
    turned.turn = {30, -45, 200}, turned.width = 640, turned.height = 360;
    turned.light = {0.8f, -0.5f}, turned.millimetresPerUnit = 1000; // its light > 10 cm out
    turned.colour = {0.8f, 0.3f, 0.02f, 1};                         // 0.02: on sRGB's linear toe
    tall.width = 300, tall.height = 500, tall.light = {-1, 1};
    turntable.frames = 3, turntable.turn = {10, 0, 0};
    oneFrame.frames = 1, oneFrame.framesPerSecond = 12, oneFrame.spin = {0, 0, -360};
    tumble.frames = 5, tumble.spin = {45, 360, 720}, tumble.millimetresPerUnit = 2;
    const std::tuple<const char*, ModelView, bool> cases[] = {
        {"default", {}, true},          {"turned", turned, true},       {"no-picture", tall, false},
        {"turntable", turntable, true}, {"one-frame", oneFrame, false}, {"tumble", tumble, true}};
    for (const auto& [name, view, picture] : cases) {
        SCOPED_TRACE(name);
        std::vector<unsigned char> glb;
        std::string error, warning;
        ASSERT_TRUE(writeGlbModel(mesh, view, picture ? marble : ModelPicture{}, name, glb, error));
        if (const char* folder = std::getenv("OVRIK_GLB_DIR")) {
            std::ofstream(std::string(folder) + "/" + name + ".glb", std::ios::binary)
                .write(reinterpret_cast<const char*>(glb.data()), std::streamsize(glb.size()));
        }
        tinygltf::Model model;
        ASSERT_TRUE(tinygltf::TinyGLTF().LoadBinaryFromMemory(&model, &error, &warning, glb.data(),
                                                              unsigned(glb.size())));
        const double metres = view.millimetresPerUnit / 1000;
        ASSERT_EQ(model.meshes.size(), 1u);
        expectWindowTurn(model.nodes.at(0).rotation.data(), view.turn);
        // The marble, with glTF's origin at the picture's top left, or none.
        const tinygltf::Primitive& primitive = model.meshes[0].primitives.at(0);
        ASSERT_EQ(model.images.size() + primitive.attributes.count("TEXCOORD_0"),
                  picture ? 2u : 0u);
        const tinygltf::PbrMetallicRoughness& pbr = model.materials.at(0).pbrMetallicRoughness;
        for (int i = 0; i < 3; ++i) { // glTF's factors are linear: the window's sRGB decoded
            const double c = view.colour[i];
            const double linear = c > 0.04045 ? std::pow((c + 0.055) / 1.055, 2.4) : c / 12.92;
            EXPECT_NEAR(pbr.baseColorFactor.at(i), linear, 1e-6);
            EXPECT_NEAR(model.materials[0].emissiveFactor.at(i), 0.2 * linear, 1e-6); // ambient
        }
        EXPECT_EQ(
            std::tuple(primitive.material, pbr.baseColorTexture.index, pbr.baseColorFactor[3]),
            std::tuple(0, picture ? 0 : -1, double(view.colour[3])));

        // The window's frustum: 2 up and across at 10 units, widened along the longer side.
        const double aspect = double(view.width) / view.height;
        const tinygltf::Node& camera = model.nodes.at(1);
        const tinygltf::PerspectiveCamera& lens = model.cameras.at(camera.camera).perspective;
        EXPECT_NEAR(lens.yfov, 2 * std::atan(0.2 * std::max(1.0, 1 / aspect)), 1e-12);
        EXPECT_EQ(std::tuple(lens.aspectRatio, lens.znear, lens.zfar, camera.translation.at(2)),
                  std::tuple(aspect, 10 * metres, 15.5 * metres, 12.75 * metres));

        // On the camera, on the ray from the centre through the window's light,
        // aimed back along it, lighting the centre modelLightGain / (1 + 0.1 d) there.
        ASSERT_EQ(camera.children, std::vector<int>{2});
        const tinygltf::Node& spot = model.nodes[2];
        const double window[] = {view.light[0] / 0.7, view.light[1] / 0.7, 2 / 0.7};
        const double at[] = {spot.translation.at(0), spot.translation.at(1),
                             spot.translation.at(2) + 12.75 * metres};
        const double d = std::hypot(at[0], at[1], at[2]);
        const double d0 = std::hypot(window[0], window[1], window[2]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(at[i] / d, window[i] / d0, 1e-9);
            // A spot shines along its -z.
            EXPECT_NEAR(fromQuaternion(spot.rotation.data())[i][2], window[i] / d0, 1e-9);
        }
        EXPECT_NEAR(d, std::max(0.1, d0 * metres), 1e-9);
        const tinygltf::Light& light = model.lights.at(
            spot.extensions.at("KHR_lights_punctual").Get("light").GetNumberAsInt());
        EXPECT_NEAR(light.intensity / (d * d), modelLightGain / (1 + 0.1 * d0), 1e-9);

        // Frame i of the clip at i / fps, a closing key at frames / fps, and no
        // step between keys of a half turn or more, nor a change of sign.
        ASSERT_EQ(model.animations.size(), view.frames > 0 ? 1u : 0u);
        for (const tinygltf::Animation& animation : model.animations) {
            const tinygltf::AnimationSampler& keys = animation.samplers.at(0);
            const std::vector<float> times = floats(model, keys.input),
                                     turns = floats(model, keys.output);
            ASSERT_EQ(turns.size(), 4 * times.size());
            EXPECT_EQ(times.back(), float(view.frames / view.framesPerSecond));
            for (int frame = 0; frame <= view.frames; ++frame) {
                EXPECT_EQ(
                    std::count(times.begin(), times.end(), float(frame / view.framesPerSecond)), 1);
            }
            // Every key on the clip's path; between two, the clip turns no more
            // than its turns about the three axes together.
            const double spin =
                std::abs(view.spin[0]) + std::abs(view.spin[1]) + std::abs(view.spin[2]);
            for (size_t key = 0; key < times.size(); ++key) {
                std::array<double, 3> angles = view.turn;
                for (int axis = 0; axis < 3; ++axis) {
                    angles[axis] +=
                        view.spin[axis] * times[key] * view.framesPerSecond / view.frames;
                }
                expectWindowTurn(&turns[4 * key], angles);
                const float* q = &turns[4 * key];
                if (key > 0) {
                    EXPECT_GT(times[key], times[key - 1]);
                    EXPECT_LT(spin * (times[key] - times[key - 1]) * view.framesPerSecond /
                                  view.frames,
                              180);
                    EXPECT_GT(std::inner_product(q - 4, q, q, 0.0), 0);
                }
            }
        }
    }
}

} // namespace
