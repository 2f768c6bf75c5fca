#include "logo/glb_writer.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <sstream>

#include "input/keys.h"
#include "logo/view_constants.h"

namespace {

using Quaternion = std::array<double, 4>; // x, y, z, w, as glTF orders them
using Vector = std::array<double, 3>;

constexpr double pi = 3.14159265358979323846;

// The window's spot has a hard edge, but glTF wants the inner cone narrower
// than the outer one: the edge fades over half a degree.
constexpr double spotInnerDegrees = 39.5;
constexpr float ambientShare = 0.2f; // GL's default global ambient, times the colour

// Viewers hold a punctual light's inverse-square falloff at what it is at a
// small distance (three.js: 10 cm), and at small scales the window's light
// is closer than that to the logo; so the light is never put nearer than
// this. Nearer is better, though: the nearer light shades the logo across
// more as the window's does, and three.js's marble detail correlated better
// with the window's at 10 cm than at 1 m.
constexpr double nearestLightMetres = 0.1;

// Well short of the half turn at which an interpolation between two keys
// could take the other way round, and close enough that the path between
// keys stays near the clip's when more than one axis turns.
constexpr double maxKeyStepDegrees = 90;
constexpr double maxTurntableKeys = 1e6;

double radians(double degrees) {
    return degrees * pi / 180;
}

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] + a[1] * b[3] + a[2] * b[0] - a[0] * b[2],
            a[3] * b[2] + a[2] * b[3] + a[0] * b[1] - a[1] * b[0],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

// The window turns the logo about x, then y, then z (glRotate in that
// order), so its model matrix is Rx Ry Rz.
Quaternion turnRotation(const std::array<double, 3>& degrees) {
    Quaternion turn = {0, 0, 0, 1};
    for (int axis = 0; axis < 3; ++axis) {
        Quaternion about = {0, 0, 0, std::cos(radians(degrees[axis]) / 2)};
        about[axis] = std::sin(radians(degrees[axis]) / 2);
        turn = multiply(turn, about);
    }
    return turn;
}

// The shortest turn that takes -z, along which a glTF spot light shines,
// onto the unit vector to. It must not point along +z, which the window's
// light, always in front of the logo, never asks for.
Quaternion aimMinusZAt(const Vector& to) {
    const Quaternion q = {to[1], -to[0], 0, 1 - to[2]};
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[3] * q[3]);
    return {q[0] / length, q[1] / length, 0, q[3] / length};
}

// Each view starts on a 4-byte boundary, as float accessors need.
int addView(tinygltf::Model& model, const void* bytes, std::size_t size, int target) {
    std::vector<unsigned char>& data = model.buffers[0].data;
    data.resize((data.size() + 3) / 4 * 4, 0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = size;
    view.target = target;
    const auto* first = static_cast<const unsigned char*>(bytes);
    data.insert(data.end(), first, first + size);
    model.bufferViews.push_back(view);
    return static_cast<int>(model.bufferViews.size()) - 1;
}

int addFloats(tinygltf::Model& model, const std::vector<float>& values, int type, int components,
              int target, bool withBounds) {
    tinygltf::Accessor accessor;
    accessor.bufferView = addView(model, values.data(), values.size() * sizeof(float), target);
    accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    accessor.type = type;
    accessor.count = values.size() / components;
    if (withBounds) {
        accessor.minValues.assign(components, std::numeric_limits<double>::infinity());
        accessor.maxValues.assign(components, -std::numeric_limits<double>::infinity());
        for (std::size_t i = 0; i < values.size(); ++i) {
            double& low = accessor.minValues[i % components];
            double& high = accessor.maxValues[i % components];
            low = std::min(low, static_cast<double>(values[i]));
            high = std::max(high, static_cast<double>(values[i]));
        }
    }
    model.accessors.push_back(accessor);
    return static_cast<int>(model.accessors.size()) - 1;
}

template <typename Index> int addIndices(tinygltf::Model& model, const LogoMesh& mesh, int type) {
    std::vector<Index> indices;
    indices.reserve(mesh.triangles.size() * 3);
    for (const auto& triangle : mesh.triangles) {
        indices.insert(indices.end(), triangle.begin(), triangle.end());
    }
    tinygltf::Accessor accessor;
    accessor.bufferView = addView(model, indices.data(), indices.size() * sizeof(Index),
                                  TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    accessor.componentType = type;
    accessor.type = TINYGLTF_TYPE_SCALAR;
    accessor.count = indices.size();
    model.accessors.push_back(accessor);
    return static_cast<int>(model.accessors.size()) - 1;
}

// Positions in metres; uv with glTF's origin at the picture's top left,
// and only with a picture to lay on.
tinygltf::Mesh addMesh(tinygltf::Model& model, const LogoMesh& mesh, double metresPerUnit,
                       bool withUv) {
    std::vector<float> positions, normals, uvs;
    for (const MeshVertex& vertex : mesh.vertices) {
        for (int i = 0; i < 3; ++i) {
            positions.push_back(static_cast<float>(vertex.position[i] * metresPerUnit));
            normals.push_back(vertex.normal[i]);
        }
        uvs.push_back(vertex.texCoord[0]);
        uvs.push_back(1 - vertex.texCoord[1]);
    }
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = 0;
    constexpr int vertexData = TINYGLTF_TARGET_ARRAY_BUFFER;
    primitive.attributes["POSITION"] =
        addFloats(model, positions, TINYGLTF_TYPE_VEC3, 3, vertexData, true);
    primitive.attributes["NORMAL"] =
        addFloats(model, normals, TINYGLTF_TYPE_VEC3, 3, vertexData, false);
    if (withUv) {
        primitive.attributes["TEXCOORD_0"] =
            addFloats(model, uvs, TINYGLTF_TYPE_VEC2, 2, vertexData, false);
    }
    // 65535 is the primitive restart index, which short indices must avoid.
    primitive.indices =
        mesh.vertices.size() < 65535
            ? addIndices<std::uint16_t>(model, mesh, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT)
            : addIndices<std::uint32_t>(model, mesh, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    tinygltf::Mesh result;
    result.name = "logo";
    result.primitives.push_back(primitive);
    return result;
}

// The standard sRGB decoding: the linear light of a display value 0 to 1.
double linearFromSrgb(double display) {
    return display <= 0.04045 ? display / 12.92 : std::pow((display + 0.055) / 1.055, 2.4);
}

// The window's GL_MODULATE: colour times picture, for the ambient too. The
// window shows its colour as it is, on a display that reads it as sRGB;
// glTF's factors are linear, so the base colour is its linear value (alpha
// is not a colour, and stays), and the ambient a fifth of that light.
tinygltf::Material addMaterial(tinygltf::Model& model, const ModelView& view,
                               const ModelPicture& picture) {
    tinygltf::Material material;
    material.name = "marble";
    const auto linear = [&view](int i) { return linearFromSrgb(view.colour[i]); };
    material.pbrMetallicRoughness.baseColorFactor = {linear(0), linear(1), linear(2),
                                                     view.colour[3]};
    material.emissiveFactor = {ambientShare * linear(0), ambientShare * linear(1),
                               ambientShare * linear(2)};
    material.pbrMetallicRoughness.metallicFactor = 0;
    material.pbrMetallicRoughness.roughnessFactor = modelRoughness;
    if (!picture.bytes.empty()) {
        tinygltf::Image image;
        image.mimeType = picture.mimeType;
        image.bufferView = addView(model, picture.bytes.data(), picture.bytes.size(), 0);
        model.images.push_back(image);
        tinygltf::Sampler sampler;
        sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
        sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR;
        sampler.wrapS = sampler.wrapT = TINYGLTF_TEXTURE_WRAP_REPEAT;
        model.samplers.push_back(sampler);
        tinygltf::Texture texture;
        texture.sampler = 0;
        texture.source = 0;
        model.textures.push_back(texture);
        material.pbrMetallicRoughness.baseColorTexture.index = 0;
        material.emissiveTexture.index = 0;
    }
    return material;
}

// The library's later versions keep a node's light in a member of its own,
// which their writer puts in the node's extension over what was there;
// earlier versions know only the extension.
template <typename Node>
auto setLightMember(Node& node, int light, int) -> decltype(void(node.light = light)) {
    node.light = light;
}
template <typename Node> void setLightMember(Node&, int, long) {}

// The spot light's node, a child of the camera's: the window places its
// light in eye space, so it stays with the viewer while the logo turns.
tinygltf::Node addLight(tinygltf::Model& model, const ModelView& view, double metresPerUnit) {
    const Vector windowLight = {view.light[0] / lightW, view.light[1] / lightW,
                                lightHeight / lightW};
    const double windowDistance = std::hypot(windowLight[0], windowLight[1], windowLight[2]);
    const Vector outward = {windowLight[0] / windowDistance, windowLight[1] / windowDistance,
                            windowLight[2] / windowDistance};
    // The window lights the centre with E = 1 / (1 + 0.1 d0), d0 its light's
    // distance in units. A punctual light of I candela at D metres gives
    // I / D^2 there, so the light, moved out to D on the same line, gets
    // I = E D^2.
    const double distance = std::max(windowDistance * metresPerUnit, nearestLightMetres);
    tinygltf::Light light;
    light.name = "spot light";
    light.type = "spot";
    light.color = {1, 1, 1};
    light.intensity =
        modelLightGain * distance * distance / (1 + linearAttenuation * windowDistance);
    light.spot.outerConeAngle = radians(spotCutoffDegrees);
    light.spot.innerConeAngle = radians(spotInnerDegrees);
    model.lights.push_back(light);
    model.extensionsUsed.push_back("KHR_lights_punctual");

    tinygltf::Node node;
    node.name = "spot light";
    node.translation = {outward[0] * distance, outward[1] * distance,
                        outward[2] * distance - cameraDistance * metresPerUnit};
    const Quaternion aim = aimMinusZAt({-outward[0], -outward[1], -outward[2]});
    node.rotation.assign(aim.begin(), aim.end());
    tinygltf::Value::Object reference;
    reference["light"] = tinygltf::Value(0);
    node.extensions["KHR_lights_punctual"] = tinygltf::Value(reference);
    setLightMember(node, 0, 0);
    return node;
}

// A wider than high view widens the window's field of view across, a
// higher than wide one widens it up.
tinygltf::Camera makeCamera(const ModelView& view, double metresPerUnit) {
    const double aspect = static_cast<double>(view.width) / view.height;
    const double up = aspect < 1 ? frustumHalfSide / aspect : frustumHalfSide;
    tinygltf::Camera camera;
    camera.name = "window";
    camera.type = "perspective";
    camera.perspective.aspectRatio = aspect;
    camera.perspective.yfov = 2 * std::atan(up / nearPlane);
    camera.perspective.znear = nearPlane * metresPerUnit;
    camera.perspective.zfar = farPlane * metresPerUnit;
    return camera;
}

// Frame i of the clip at i / fps seconds, with the clip's angles, keys in
// between where a frame's step would turn too far, and a last key a frame
// after the last that closes the loop.
void addTurntable(tinygltf::Model& model, const ModelView& view, int steps) {
    std::vector<float> times, rotations;
    Quaternion previous = {0, 0, 0, 1};
    for (long key = 0; key <= static_cast<long>(view.frames) * steps; ++key) {
        const double frame = static_cast<double>(key) / steps; // whole at the clip's frames
        Quaternion turn = turnRotation(clipFrameTurn(view.turn, view.spin, frame, view.frames));
        // q and -q are the same turn: each key takes the sign nearer the
        // last, so that every viewer interpolates the short way round.
        const double dot = turn[0] * previous[0] + turn[1] * previous[1] + turn[2] * previous[2] +
                           turn[3] * previous[3];
        if (dot < 0) {
            std::transform(turn.begin(), turn.end(), turn.begin(), std::negate<>());
        }
        times.push_back(static_cast<float>(frame / view.framesPerSecond));
        rotations.insert(rotations.end(), turn.begin(), turn.end());
        previous = turn;
    }
    tinygltf::AnimationSampler sampler;
    sampler.input = addFloats(model, times, TINYGLTF_TYPE_SCALAR, 1, 0, true);
    sampler.output = addFloats(model, rotations, TINYGLTF_TYPE_VEC4, 4, 0, false);
    sampler.interpolation = "LINEAR";
    tinygltf::AnimationChannel channel;
    channel.sampler = 0;
    channel.target_node = 0;
    channel.target_path = "rotation";
    tinygltf::Animation animation;
    animation.name = "turntable";
    animation.samplers.push_back(sampler);
    animation.channels.push_back(channel);
    model.animations.push_back(animation);
}

// Keys per frame, enough that no step turns more than maxKeyStepDegrees: a
// step turns at most as far as its three turns about the axes together.
double turntableSteps(const ModelView& view) {
    const double perFrame =
        (std::abs(view.spin[0]) + std::abs(view.spin[1]) + std::abs(view.spin[2])) / view.frames;
    return std::max(1.0, std::ceil(perFrame / maxKeyStepDegrees));
}

std::string unfitInput(const LogoMesh& mesh, const ModelView& view, const ModelPicture& picture) {
    if (mesh.triangles.empty()) {
        return "the logo's mesh has no triangles";
    }
    const auto outside = [&mesh](const std::array<std::uint32_t, 3>& triangle) {
        return *std::max_element(triangle.begin(), triangle.end()) >= mesh.vertices.size();
    };
    if (std::any_of(mesh.triangles.begin(), mesh.triangles.end(), outside)) {
        return "a triangle of the logo's mesh names a vertex it does not have";
    }
    std::vector<double> numbers = {view.millimetresPerUnit, view.framesPerSecond};
    numbers.insert(numbers.end(), view.turn.begin(), view.turn.end());
    numbers.insert(numbers.end(), view.spin.begin(), view.spin.end());
    numbers.insert(numbers.end(), view.light.begin(), view.light.end());
    numbers.insert(numbers.end(), view.colour.begin(), view.colour.end());
    if (!std::all_of(numbers.begin(), numbers.end(), [](double n) { return std::isfinite(n); })) {
        return "the view holds a number that is not finite";
    }
    if (view.width <= 0 || view.height <= 0 || view.millimetresPerUnit <= 0) {
        return "the view needs a positive width, height and scale";
    }
    if (view.frames < 0 || (view.frames > 0 && view.framesPerSecond <= 0)) {
        return "a turntable needs a positive number of frames and frame rate";
    }
    if (view.frames > 0 && turntableSteps(view) * view.frames > maxTurntableKeys) {
        return "the turntable turns too far for its number of frames";
    }
    if (!picture.bytes.empty() && picture.mimeType != "image/png" &&
        picture.mimeType != "image/jpeg") {
        return "the picture must be PNG or JPEG, not '" + picture.mimeType + "'";
    }
    return "";
}

} // namespace

bool writeGlbModel(const LogoMesh& mesh, const ModelView& view, const ModelPicture& picture,
                   const std::string& generator, std::vector<unsigned char>& glb,
                   std::string& error) {
    glb.clear();
    error = unfitInput(mesh, view, picture);
    if (!error.empty()) {
        return false;
    }
    try {
        const double metresPerUnit = view.millimetresPerUnit / 1000;
        tinygltf::Model model;
        model.asset.version = "2.0";
        model.asset.generator = generator;
        model.buffers.resize(1);
        model.meshes.push_back(addMesh(model, mesh, metresPerUnit, !picture.bytes.empty()));
        model.materials.push_back(addMaterial(model, view, picture));
        model.cameras.push_back(makeCamera(view, metresPerUnit));

        tinygltf::Node logo;
        logo.name = "logo";
        logo.mesh = 0;
        const Quaternion turn = turnRotation(view.turn);
        logo.rotation.assign(turn.begin(), turn.end());
        tinygltf::Node camera;
        camera.name = "camera";
        camera.camera = 0;
        camera.translation = {0, 0, cameraDistance * metresPerUnit};
        camera.children = {2};
        model.nodes = {logo, camera, addLight(model, view, metresPerUnit)};
        model.scenes.resize(1);
        model.scenes[0].nodes = {0, 1};
        model.defaultScene = 0;
        if (view.frames > 0) {
            addTurntable(model, view, static_cast<int>(turntableSteps(view)));
        }
        // The binary chunk's length must be a multiple of 4.
        model.buffers[0].data.resize((model.buffers[0].data.size() + 3) / 4 * 4, 0);

        std::ostringstream stream(std::ios::out | std::ios::binary);
        tinygltf::TinyGLTF writer;
        if (!writer.WriteGltfSceneToStream(&model, stream, false, true) || !stream) {
            error = "the glTF library could not write the model";
            return false;
        }
        const std::string bytes = stream.str();
        glb.assign(bytes.begin(), bytes.end());
        return true;
    } catch (const std::exception& failure) {
        error = std::string("cannot write the model: ") + failure.what();
        glb.clear();
        return false;
    }
}
