// Draws real frames in a GLUT window (on the test's private Xvfb, with Mesa's
// software renderer) and reads back what a person would see; reads uploaded
// textures back from GL.
#include <GL/freeglut.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/render.h"
#include "app/scene.h"
#include "bitmap_writer.h"
#include "picture_writer.h"
#include "texture/texture.h"

namespace {

using Picture = std::vector<unsigned char>; // 400 x 400 RGB, rows bottom-up

Picture drawFrame() {
    display();
    Picture picture(400 * 400 * 3);
    glReadBuffer(GL_BACK); // Mesa's software path keeps the frame it swapped
    glReadPixels(0, 0, 400, 400, GL_RGB, GL_UNSIGNED_BYTE, picture.data());
    return picture;
}

// The pixel of a point on the unturned front face (z = 0.25), given in the
// outline's own coordinates (0..3.4 by 0..1.4). The face lies 12.5 in front
// of the camera with the near plane at 10, so it is scaled by 0.4.
const unsigned char* sample(const Picture& picture, float x, float y) {
    const int column = static_cast<int>(200 * (1 + 0.4f * (x - 1.7f)));
    const int row = static_cast<int>(200 * (1 + 0.4f * (y - 0.7f)));
    return &picture[(row * 400 + column) * 3];
}

bool isBackground(const unsigned char* p) {
    return std::abs(p[0] - 102) <= 2 && std::abs(p[1] - 102) <= 2 && std::abs(p[2] - 102) <= 2;
}

// One point inside each of the seven bars, then holes between the bars and
// points just beyond the outline, in the outline's coordinates.
constexpr struct {
    float x, y;
    bool onLogo;
} spots[] = {
    {0.33f, 0.2f, true},  {1.3f, 0.7f, true},    {1.825f, 0.7f, true}, {2.0f, 0.12f, true},
    {2.4f, 0.4f, true},   {2.5f, 0.7f, true},    {2.5f, 1.275f, true}, {1.2f, 0.3f, false},
    {2.5f, 1.0f, false},  {2.08f, 0.42f, false}, {0.3f, 1.2f, false},  {3.2f, 0.3f, false},
    {-0.1f, 0.7f, false}, {3.5f, 0.7f, false},   {1.8f, 1.5f, false},  {1.8f, -0.1f, false}};

class Render : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static char name[] = "ovrik-render-tests";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        openWindow(&argc, argv);             // once: GLUT takes one glutInit per process
        glPixelStorei(GL_PACK_ALIGNMENT, 1); // rows read back as tightly as they are given
        for (int i = 0; i < 50; ++i) {
            glutMainLoopEvent(); // map and expose the window
        }
    }
};

TEST_F(Render, FaceOnLogoShowsEveryBarLitAndNothingBehindIt) {
    Picture plain = drawFrame();
    scene.textureName = loadTexture(MARBLE_BMP);
    ASSERT_NE(scene.textureName, 0u);
    Picture marbled = drawFrame();
    for (const auto& s : spots) {
        const unsigned char *p = sample(plain, s.x, s.y), *m = sample(marbled, s.x, s.y);
        EXPECT_EQ(!isBackground(p), s.onLogo) << s.x << "," << s.y;
        EXPECT_EQ(!isBackground(m), s.onLogo) << s.x << "," << s.y;
        // The material (0.2, 0.6, 0.4) under a white light: green leads; the
        // marble multiplies it, darker where a vein runs.
        EXPECT_TRUE(!s.onLogo ||
                    (p[1] > p[2] + 10 && p[2] > p[0] + 10 && m[1] > m[0] && m[1] <= p[1] + 1))
            << s.x << "," << s.y << ": " << +p[0] << " " << +p[1] << " " << +p[2];
    }
    int marbledBytes = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        marbledBytes += plain[i] != marbled[i];
    }
    EXPECT_GT(marbledBytes, 3000);
}

TEST_F(Render, UploadKeepsEveryTexelOrReportsWhatTheGlCannotTake) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const std::string path = (std::filesystem::temp_directory_path() / "ovrik-render.bmp").string();
    // Rows of 18, 15 and 9 bytes are packed without BMP padding.
    const int sizes[][2] = {{6, 2},       {5, 3},           {3, 8},          {8, 3},
                            {largest, 1}, {largest + 1, 1}, {4, largest + 1}};
    for (auto [width, height] : sizes) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height);
        const Picture rgb = patternPicture(width, height);
        ASSERT_TRUE(writeFile(path, encodeBitmap(width, height, rgb)));
        ::testing::internal::CaptureStdout();
        GLuint name = loadTexture(path.c_str());
        std::string printed = ::testing::internal::GetCapturedStdout();
        GLint shape[3] = {};
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &shape[0]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &shape[1]);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &shape[2]);
        Picture texels(rgb.size());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        glDeleteTextures(1, &name);
        if (width <= largest && height <= largest) {
            EXPECT_TRUE(name != 0 && printed.empty() && texels == rgb) << printed;
            EXPECT_EQ(std::vector<GLint>(shape, shape + 3), (std::vector<GLint>{width, height, 4}));
        } else {
            EXPECT_EQ(name, 0u);
            EXPECT_EQ(printed, "Texture from " + path + " is too large for this OpenGL: " +
                                   std::to_string(width) + " x " + std::to_string(height) +
                                   " pixels, at most " + std::to_string(largest) + " per side\n");
        }
    }
}

TEST_F(Render, NamedPictureIsReducedAndMipmappedSoAFinePatternShowsItsAverage) {
    const std::string board = (std::filesystem::temp_directory_path() / "ovrik-board.png").string(),
                      wide = (std::filesystem::temp_directory_path() / "ovrik-wide.jpg").string();
    ASSERT_TRUE(writeFile(board, encodePng(1024, 1024, checkerboardPicture(1024, 1024))));
    ASSERT_TRUE(writeFile(wide, encodeJpeg(3000, 1400, patternPicture(3000, 1400))));
    struct Look {
        GLint minFilter, width, height, level1Width;
        double roughness; // mean difference between neighbouring pixels on the logo
    };
    auto look = [](GLuint name) {
        Look l{};
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &l.minFilter);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &l.width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &l.height);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &l.level1Width);
        scene.textureName = name;
        const Picture frame = drawFrame();
        int differences = 0, count = 0;
        for (const auto& s : spots) {
            for (int dx = 0; s.onLogo && dx < 4; ++dx, ++count) {
                const unsigned char* p = sample(frame, s.x, s.y) + 3 * dx;
                differences += std::abs(p[1] - p[4]);
            }
        }
        scene.textureName = 0;
        glDeleteTextures(1, &name);
        l.roughness = static_cast<double>(differences) / count;
        return l;
    };
    const Look marble = look(loadTexture(board.c_str())),
               named = look(loadNamedTexture(board.c_str())),
               reduced = look(loadNamedTexture(wide.c_str()));
    // The marble's way: the picture's own size, one level, and shimmer.
    EXPECT_EQ(std::make_tuple(marble.minFilter, marble.width, marble.level1Width),
              std::make_tuple(GL_LINEAR, 1024, 0));
    EXPECT_GT(marble.roughness, 20);
    EXPECT_EQ(std::make_tuple(named.minFilter, named.width, named.level1Width),
              std::make_tuple(GL_LINEAR_MIPMAP_LINEAR, 1024, 512));
    EXPECT_LT(named.roughness, 8);
    EXPECT_EQ(std::make_tuple(reduced.width, reduced.height, reduced.level1Width),
              std::make_tuple(1024, 478, 512)); // 477.9 rounded
}

} // namespace
