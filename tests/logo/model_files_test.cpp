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

#include "picture/model_picture.h"

namespace {

namespace fs = std::filesystem;

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

std::string run(const std::string& command) {
    std::string output;
    char chunk[4096];
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    for (size_t n; pipe != nullptr && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        output.append(chunk, n);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command << "\n" << output;
    return output;
}

// The number after `key` and its ':', '=' or '(' in a tool's report.
double reported(const std::string& report, const std::string& key) {
    const size_t at = report.find(key);
    return at == std::string::npos
               ? NAN
               : std::strtod(report.c_str() + report.find_first_of(":=(", at) + 1, nullptr);
}

TEST(ModelFiles, StlIsOneClosedOutwardSolidLyingOnItsBack) {
    const fs::path path = freshFolder("stl") / "logo.stl";
    const std::pair<LogoShape, double> shapes[] = {{{3.4f, 1.4f, 0.25f, 0.5f, 50.0f}, 10},
                                                   {{3.4f, 1.4f, 0.25f, 0.5f, 65.0f}, 2.5},
                                                   {{3.4f, 1.4f, 0.35f, 0.5f, 50.0f}, 40}};
    for (const auto& [shape, scale] : shapes) {
        const LogoMesh mesh = buildLogoMesh(shape);
        std::string error;
        ASSERT_TRUE(writeStl(path.string(), -1, mesh, scale, error)) << error;
        const std::string bytes = readAll(path);
        EXPECT_NE(bytes.compare(0, 5, "solid"), 0);
        std::uint32_t count = 0; // little-endian, as this machine
        std::memcpy(&count, bytes.data() + 80, 4);
        EXPECT_EQ(count, mesh.triangles.size());
        EXPECT_EQ(bytes.size(), 84 + 50 * mesh.triangles.size());
        const std::string report = run("admesh " + path.string());
        for (const char* repair :
             {"Total disconnected facets", "Degenerate facets", "Edges fixed", "Facets removed",
              "Facets added", "Facets reversed", "Backwards edges", "Normals fixed"}) {
            EXPECT_EQ(reported(report, repair), 0) << repair << "\n" << report;
        }
        EXPECT_EQ(reported(report, "Number of parts"), 1);
        const double volume =
            outlineArea(logoOutline(shape)) * shape.logoDepth * std::pow(scale, 3);
        EXPECT_NEAR(reported(report, "Volume"), volume, 1e-3 * volume);
        const double x = shape.logoWidth / 2 * scale, y = shape.logoHeight / 2 * scale;
        for (const auto& [key, expected] : {std::pair{"Min X", -x},
                                            {"Max X", x},
                                            {"Min Y", -y},
                                            {"Max Y", y},
                                            {"Min Z", 0.0},
                                            {"Max Z", shape.logoDepth * scale}}) {
            EXPECT_NEAR(reported(report, key), expected, 1e-5 * scale) << key;
        }
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
    const std::string report = run("assimp info " + (folder / "logo.obj").string());
    EXPECT_EQ(reported(report, "Vertices"), mesh.vertices.size());
    EXPECT_EQ(reported(report, "Faces"), mesh.triangles.size());
    EXPECT_EQ(reported(report, "Materials"), 1);
    EXPECT_NE(report.find("($tex.file)"), std::string::npos);
    EXPECT_NE(report.find("Texture Refs:\n    'logo.png'"), std::string::npos) << report;
    EXPECT_NEAR(reported(report, "Maximum point"), 1.7 * 0.025, 1e-6); // metres
    EXPECT_EQ(readAll(folder / "logo.png"),
              std::string(picture.bytes.begin(), picture.bytes.end()));
    const std::string mtl = readAll(folder / "logo.mtl");
    for (const char* line : {"\nKa 0.25 0.5 0.75\n", "\nKd 0.25 0.5 0.75\n", "\nKs 0.5 0.5 0.5\n",
                             "\nNs 120\n", "\nillum 2\n", "\nmap_Kd logo.png\n"}) {
        EXPECT_NE(mtl.find(line), std::string::npos) << line << mtl;
    }
    // The window's marble coordinates, to the last bit.
    std::istringstream obj(readAll(folder / "logo.obj"));
    size_t texCoords = 0;
    for (std::string line; std::getline(obj, line);) {
        std::array<float, 2> st{};
        if (line.rfind("vt ", 0) == 0 && std::istringstream(line.substr(3)) >> st[0] >> st[1]) {
            ASSERT_LT(texCoords, mesh.vertices.size());
            EXPECT_EQ(st, mesh.vertices[texCoords++].texCoord);
        }
    }
    EXPECT_EQ(texCoords, mesh.vertices.size());
}

TEST(ModelFiles, FailedWritesLeaveNoFileAndNameIt) {
    const fs::path folder = freshFolder("failures");
    fs::create_directory(folder / "logo.mtl"); // in the material's way, once the picture is done
    const LogoMesh mesh = buildLogoMesh({3.4f, 1.4f, 0.25f, 0.5f, 50.0f});
    const ModelPicture picture{{1, 2, 3}, "image/png", "png"};
    std::string failed, error;
    EXPECT_FALSE(writeObjFiles((folder / "logo.obj").string(), mesh, {}, picture, failed, error));
    EXPECT_EQ(std::pair(failed, error),
              std::pair((folder / "logo.mtl").string(), std::string(std::strerror(EISDIR))));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
    EXPECT_FALSE(
        writeObjFiles((folder / "no/logo.obj").string(), mesh, {}, picture, failed, error));
    EXPECT_EQ(std::pair(failed, error),
              std::pair((folder / "no/logo.png").string(), std::string(std::strerror(ENOENT))));
    EXPECT_FALSE(writeStl((folder / "no/logo.stl").string(), -1, mesh, 10, error));
    EXPECT_EQ(error, std::strerror(ENOENT));
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    EXPECT_FALSE(writeStl("-", full, mesh, 10, error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
    close(full);
    fs::remove_all(folder);
}

} // namespace
