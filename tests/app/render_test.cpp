// Draws real frames in a GLUT window (on the test's private Xvfb, with Mesa's
// software renderer) and reads back what a person would see; reads uploaded
// textures back from GL.
#include <GL/freeglut.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "app/options.h"
#include "app/render.h"
#include "app/save_clip.h"
#include "app/save_view.h"
#include "app/scene.h"
#include "bitmap_writer.h"
#include "picture/picture.h"
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

// The real program, started without a display, next to the window's frame.
struct Saved {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba; // rows top first
};
Saved savedPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Saved saved;
    if (png_image_begin_read_from_file(&image, path.c_str()) != 0) {
        image.format = PNG_FORMAT_RGBA;
        saved = {static_cast<int>(image.width), static_cast<int>(image.height),
                 std::vector<unsigned char>(PNG_IMAGE_SIZE(image))};
        png_image_finish_read(&image, nullptr, saved.rgba.data(), 0, nullptr);
    }
    return saved;
}

// Runs the program in the marble's folder with no display, as a shell
// would run `arguments`; returns its peak resident memory in KiB, or -1 if
// it failed.
long runWithoutDisplay(const std::string& arguments) {
    const std::string command = "cd " + std::filesystem::path(MARBLE_BMP).parent_path().string() +
                                " && exec env -u DISPLAY " OVRIK_LOGO " " + arguments;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t child = 0;
    int status = 0;
    rusage usage{};
    const bool ran =
        posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0 &&
        wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE(ran) << command;
    return ran ? usage.ru_maxrss : -1;
}

std::string savedFileWithoutDisplay(const std::string& options, long* peakKib = nullptr) {
    const std::string out = (std::filesystem::temp_directory_path() / "ovrik-saved.png").string();
    std::filesystem::remove(out);
    const long peak = runWithoutDisplay("--output " + out + " " + options);
    if (peakKib != nullptr) {
        *peakKib = peak;
    }
    return out;
}

TEST_F(Render, SavedViewWithoutADisplayHasTheWindowsPixels) {
    scene.textureName = loadTexture(MARBLE_BMP);
    scene.view = {10, 355, -40, {0.35f, 0.6f, 0.9f, 1}};
    scene.pointerX = 130, scene.pointerY = 90;
    const Picture window = drawFrame();
    const Saved saved = savedPng(
        savedFileWithoutDisplay(viewOptionsText(scene.view, windowView().light) + " --samples 1"));
    ASSERT_EQ(std::make_pair(saved.width, saved.height), std::make_pair(400, 400));
    int different = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400 * 3; ++x) {
            different += window[(399 - y) * 1200 + x] != saved.rgba[(y * 400 + x / 3) * 4 + x % 3];
        }
    }
    EXPECT_EQ(different, 0);
    scene.view = {0, 0, 0, {0.2f, 0.6f, 0.4f, 1}};
    scene.pointerX = scene.pointerY = 200;
}

// Tiles make no seam, a non-square view keeps the logo's proportions, and
// a transparent view laid over the grey gives the grey one.
TEST_F(Render, SavedViewIsTheSameInTilesAndOverAnyBackground) {
    scene.textureName = loadTexture(MARBLE_BMP);
    const std::string path = (std::filesystem::temp_directory_path() / "ovrik-tiles.png").string();
    auto save = [&](SaveSettings settings) {
        std::string error;
        EXPECT_TRUE(saveView(settings, savedView(settings, {0.3f, -0.2f}), "", path, -1, error))
            << error;
        return savedPng(path);
    };
    const SaveSettings whole{300, 200, 4, false, 1024};
    const Saved grey = save(whole), tiled = save({300, 200, 4, false, 64}),
                clear = save({300, 200, 4, true, 1024});
    ASSERT_EQ(grey.rgba.size(), size_t{300 * 200 * 4});
    ASSERT_EQ(tiled.rgba.size(), grey.rgba.size());
    ASSERT_EQ(clear.rgba.size(), grey.rgba.size());
    int seams = 0, worstOverGrey = 0, edges = 0;
    int left = 300, right = 0, top = 200, bottom = 0;
    for (size_t i = 0; i < grey.rgba.size(); i += 4) {
        const int x = static_cast<int>(i / 4 % 300), y = static_cast<int>(i / 4 / 300);
        const int alpha = clear.rgba[i + 3];
        edges += alpha > 0 && alpha < 255;
        for (int c = 0; c < 3; ++c) {
            seams += std::abs(grey.rgba[i + c] - tiled.rgba[i + c]) > 1;
            const int over = (clear.rgba[i + c] * alpha + 102 * (255 - alpha) + 127) / 255;
            worstOverGrey = std::max(worstOverGrey, std::abs(over - grey.rgba[i + c]));
        }
        if (alpha > 128) {
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    EXPECT_EQ(seams, 0);
    EXPECT_LE(worstOverGrey, 2);
    EXPECT_GT(edges, 100); // smooth edges, not a cut-out
    // The face is 3.4 by 1.4 at 12.5 from the eye: 136 by 56 pixels here.
    EXPECT_NEAR(right - left + 1, 136, 3);
    EXPECT_NEAR(bottom - top + 1, 56, 3);
    EXPECT_NEAR((left + right) / 2.0, 150, 2);
}

// Any size in bounded memory: 8192 x 8192, averaged down, is the 1024 x 1024
// view.
TEST_F(Render, LargeSavedViewAveragesToTheSmallOneInBoundedMemory) {
    const std::string small = savedFileWithoutDisplay("--size 1024x1024 --turn 20,30,0");
    const std::string smallCopy = small + ".1024";
    std::filesystem::rename(small, smallCopy);
    long peakKib = 0;
    const std::string large = savedFileWithoutDisplay("--size 8192x8192 --turn 20,30,0", &peakKib);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(peakKib, 600 * 1024); // a sanitizer's shadow memory is not counted
#endif
    BitmapImage reference, averaged;
    ASSERT_TRUE(loadPicture(smallCopy.c_str(), nullptr, {nullptr, 0}, &reference));
    ASSERT_TRUE(loadPicture(large.c_str(), nullptr, {nullptr, 1024}, &averaged));
    ASSERT_EQ(std::make_pair(averaged.width, averaged.height), std::make_pair(1024, 1024));
    double difference = 0;
    for (size_t i = 0; i < size_t{1024 * 1024 * 3}; ++i) {
        difference += std::abs(reference.pixels[i] - averaged.pixels[i]);
    }
    EXPECT_LT(difference / (1024 * 1024 * 3), 3);
    std::free(reference.pixels);
    std::free(averaged.pixels);
}

// A clip's frames are single views: frame 0 the start's, a frame whose
// angles are whole degrees the view --turn gives for them; and a clip's
// memory does not grow with its length.
TEST_F(Render, ClipFramesAreTheSingleViewsOfTheirTurnsInFlatMemory) {
    const std::filesystem::path clip = std::filesystem::temp_directory_path() / "ovrik-clip";
    std::filesystem::remove_all(clip);
    std::filesystem::create_directories(clip);
    const std::string frames = (clip / "f-%d.png").string();
    runWithoutDisplay("--output " + frames + " --frames 8 --turn 10,5,0 --light 0.3,-0.2");
    const Saved first = savedPng((clip / "f-0.png").string()),
                second = savedPng((clip / "f-1.png").string()),
                fourth = savedPng((clip / "f-3.png").string());
    ASSERT_EQ(first.rgba.size(), size_t{400 * 400 * 4});
    EXPECT_TRUE(first.rgba ==
                savedPng(savedFileWithoutDisplay("--turn 10,5,0 --light 0.3,-0.2")).rgba);
    EXPECT_TRUE(fourth.rgba ==
                savedPng(savedFileWithoutDisplay("--turn 10,140,0 --light 0.3,-0.2")).rgba);
    EXPECT_FALSE(second.rgba == first.rgba);
#if !defined(__SANITIZE_ADDRESS__) // whose shadow memory is not counted
    const std::string small = " --size 64x64 --frames ";
    const long peak72 = runWithoutDisplay("--output " + frames + small + "72"),
               peak720 = runWithoutDisplay("--output " + frames + small + "720");
    EXPECT_LT(peak720, peak72 * 1.05) << peak72 << " KiB for 72 frames";
#endif
    std::filesystem::remove_all(clip);
}

// A frame is drawn from its view value alone: a view and a clip turned and
// coloured away from the scene show what the program shows for that view,
// and the clip leaves the scene's turn as it found it.
TEST_F(Render, ViewsAndClipsAreDrawnFromTheirViewAndLeaveTheSceneAlone) {
    const std::string path = (std::filesystem::temp_directory_path() / "ovrik-own").string();
    const SaveSettings settings{160, 100, 1, false, 1024};
    scene.textureName = loadTexture(MARBLE_BMP);
    const ViewState before = scene.view;
    FrameView view = savedView(settings, {0.3f, -0.2f});
    view.state = {10, 40, -20, {0.9f, 0.3f, 0.2f, 1}};
    const Saved program = savedPng(savedFileWithoutDisplay(viewOptionsText(view.state, view.light) +
                                                           " --size 160x100 --samples 1"));
    std::string failed, error;
    ClipOptions clip;
    clip.frames = 2;
    ASSERT_TRUE(saveClip(settings, clip, view, "", path + "-%d.png", -1, failed, error)) << error;
    ASSERT_TRUE(saveView(settings, view, "", path + ".png", -1, error)) << error;
    EXPECT_TRUE(savedPng(path + ".png").rgba == program.rgba);
    EXPECT_TRUE(savedPng(path + "-0.png").rgba == program.rgba);
    EXPECT_EQ(std::make_tuple(scene.view.angleX, scene.view.angleY, scene.view.angleZ),
              std::make_tuple(before.angleX, before.angleY, before.angleZ));
    for (const char* end : {".png", "-0.png", "-1.png"}) {
        std::filesystem::remove(path + end);
    }
}

} // namespace
