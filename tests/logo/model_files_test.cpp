// Other programs must read the model files as the logo: admesh finds the STL
// one closed solid, wound outward, of the logo's volume, lying on its back;
// assimp reads the OBJ with its material and picture.
#include "logo/model_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "picture/write/model_picture.h"

namespace {

namespace fs = std::filesystem;
using Reported = std::vector<std::pair<std::string, double>>;

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / ("ovrik-model-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string readAll(const fs::path& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Each number after its key and the ':', '=' or '(' that follows it in
// what the command prints, within 0.1 %; each key in `none` shows 0.
void expectReport(const std::string& command, Reported expected,
                  std::initializer_list<const char*> none = {}) {
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string report(1 << 16, '\0');
    report.resize(pipe != nullptr ? std::fread(report.data(), 1, report.size(), pipe) : 0);
    ASSERT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command << "\n" << report;
    for (const char* key : none) {
        expected.emplace_back(key, 0);
    }
    for (const auto& [key, value] : expected) {
        const size_t at = report.find(key);
        ASSERT_NE(at, std::string::npos) << key << "\n" << report;
        const double shown = std::strtod(&report[report.find_first_of(":=(", at) + 1], nullptr);
        EXPECT_NEAR(shown, value, 1e-3 * std::abs(value) + 1e-6) << key << "\n" << report;
    }
}

TEST(ModelFiles, StlIsOneClosedOutwardSolidLyingOnItsBack) {
    const fs::path path = freshFolder("stl") / "logo.stl";
    for (const auto& [shape, scale] : {std::pair{LogoShape{3.4f, 1.4f, 0.25f, 0.5f, 50.0f}, 10.0},
                                       {LogoShape{3.4f, 1.4f, 0.25f, 0.5f, 65.0f}, 2.5},
                                       {LogoShape{3.4f, 1.4f, 0.35f, 0.5f, 50.0f}, 40.0}}) {
        const LogoMesh mesh = buildLogoMesh(shape);
        std::string error;
        ASSERT_TRUE(writeStl(path.string(), -1, mesh, scale, error)) << error;
        const std::string bytes = readAll(path);
        EXPECT_NE(bytes.compare(0, 5, "solid"), 0);
        const auto count = static_cast<std::uint32_t>(mesh.triangles.size()); // little-endian here
        EXPECT_EQ(bytes.substr(80, 4), std::string(reinterpret_cast<const char*>(&count), 4));
        const double w = shape.logoWidth * scale, h = shape.logoHeight * scale,
                     d = shape.logoDepth * scale, area = outlineArea(logoOutline(shape));
        // Centred in x and y: the lowest x and the highest y tell both sides.
        expectReport("admesh " + path.string(),
                     {std::pair("Number of facets", count), std::pair("Number of parts", 1),
                      std::pair("Min X", -w / 2), std::pair("Max Y", h / 2), std::pair("Min Z", 0),
                      std::pair("Max Z", d), std::pair("Volume", area * d * scale * scale)},
                     {"Edges fixed", "Facets removed", "Facets added", "Facets reversed",
                      "Backwards edges", "Normals fixed"});
    }
}

TEST(ModelFiles, ObjIsReadWithItsMaterialAndPicture) {
    const fs::path folder = freshFolder("obj");
    const LogoMesh mesh = buildLogoMesh({3.4f, 1.4f, 0.25f, 0.5f, 50.0f});
    ModelView view;
    view.colour = {0.25f, 0.5f, 0.75f, 1};
    view.millimetresPerUnit = 25;
    unsigned char pixels[] = {10, 20, 30, 40, 50, 60};
    ModelPicture picture;
    std::string failed, error;
    ASSERT_TRUE(encodeModelPicture({2, 1, pixels}, false, picture, error));
    ASSERT_TRUE(writeObjFiles((folder / "logo.obj").string(), mesh, view, picture, failed, error))
        << failed << ": " << error;
    expectReport("assimp info " + (folder / "logo.obj").string(),
                 {std::pair("Vertices", mesh.vertices.size()),
                  std::pair("Faces", mesh.triangles.size()), std::pair("Materials", 1),
                  std::pair("Maximum point", 1.7 * 0.025)},
                 {"($tex.file)"});
    const std::string mtl = readAll(folder / "logo.mtl"), obj = readAll(folder / "logo.obj");
    for (const char* line : {"\nKa 0.25 0.5 0.75\n", "\nKd 0.25 0.5 0.75\n", "\nKs 0.5 0.5 0.5\n",
                             "\nNs 120\n", "\nillum 2\n", "\nmap_Kd logo.png\n"}) {
        EXPECT_NE(mtl.find(line), std::string::npos) << line << mtl;
    }
    // The window's marble coordinates, to the last bit.
    std::vector<std::array<float, 2>> shown, texCoords;
    for (size_t at = obj.find("\nvt "); at != std::string::npos; at = obj.find("\nvt ", at + 1)) {
        shown.emplace_back();
        EXPECT_EQ(std::sscanf(&obj[at], " vt %f %f", &shown.back()[0], &shown.back()[1]), 2);
    }
    for (const MeshVertex& vertex : mesh.vertices) {
        texCoords.push_back(vertex.texCoord);
    }
    EXPECT_EQ(shown, texCoords);
}

// A failed write, anywhere in the set, leaves none of it and names the file.
TEST(ModelFiles, FailedWritesLeaveNoFileAndNameIt) {
    const fs::path folder = freshFolder("failures");
    const LogoMesh mesh = buildLogoMesh({3.4f, 1.4f, 0.25f, 0.5f, 50.0f});
    std::string failed, error;
    const auto writeTo = [&](const fs::path& path, int stream) {
        const bool written = writeStl(path, stream, mesh, 10, error);
        return std::pair(written, error);
    };
    const auto reason = [](int error) { return std::string(std::strerror(error)); };
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(writeTo(folder / "no/logo.stl", -1), std::pair(false, reason(ENOENT)));
    EXPECT_EQ(writeTo("-", full), std::pair(false, reason(ENOSPC)));
    close(full);
    EXPECT_FALSE(writeObjFiles(folder / "a b.obj", mesh, {}, {{1, 2}, "image/png", "png"}, failed,
                               error)); // OBJ and MTL cannot quote names
    LogoMesh broken = mesh;
    broken.triangles[1][2] = static_cast<std::uint32_t>(mesh.vertices.size());
    for (const auto& [model, scale] :
         {std::pair{&mesh, 0.0}, {&mesh, NAN}, {&mesh, 1e39}, {&broken, 10.0}}) {
        std::vector<unsigned char> bytes{1};
        EXPECT_FALSE(encodeStl(*model, scale, bytes, error) || !bytes.empty() || error.empty());
    }
    EXPECT_TRUE(fs::is_empty(folder));
    fs::remove_all(folder);
}

} // namespace
