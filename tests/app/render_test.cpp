// Draws real frames in a GLUT window (under Xvfb with Mesa's software
// renderer in the test run) and checks what a person would see.
#include <GL/freeglut.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "app/render.h"
#include "app/scene.h"
#include "bitmap_writer.h"
#include "input/callbacks.h"
#include "input/keys.h"
#include "marble.h"
#include "texture/texture.h"
#include "window_capture.h"

namespace {

struct Pixel {
    int r, g, b;
    int sum() const { return r + g + b; }
};

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // rows bottom-up, as GL reads them

    Pixel at(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

bool isBackground(Pixel p) {
    return std::abs(p.r - 102) <= 2 && std::abs(p.g - 102) <= 2 && std::abs(p.b - 102) <= 2;
}

// Lets GLUT handle window events (map, configure, expose) until done()
// holds or the rounds run out.
template <typename Done> void pumpEvents(int rounds, Done done) {
    for (int i = 0; i < rounds && !done(); ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void resizeWindow(int width, int height) {
    glutReshapeWindow(width, height);
    pumpEvents(400, [&] { return scene.windowWidth == width && scene.windowHeight == height; });
    ASSERT_EQ(scene.windowWidth, width);
    ASSERT_EQ(scene.windowHeight, height);
}

// Runs the real display callback and captures what it put on screen.
Picture drawFrame() {
    display();
    Picture pic;
    pic.width = scene.windowWidth;
    pic.height = scene.windowHeight;
    if (!captureCurrentWindow(pic.width, pic.height, pic.rgb)) {
        ADD_FAILURE() << "window capture failed";
        pic.rgb.assign(static_cast<size_t>(pic.width) * pic.height * 3, 0);
    }
    return pic;
}

// Window pixel of a point on the unturned front face (z = 0.25), given in
// the outline's own coordinates (0..3.4 by 0..1.4). The face lies 12.5 in
// front of the camera with the near plane at 10, so it is scaled by 0.4.
Pixel sample(const Picture& pic, float x, float y) {
    int px = static_cast<int>(pic.width / 2.0f * (1.0f + 0.4f * (x - 1.7f)));
    int py = static_cast<int>(pic.height / 2.0f * (1.0f + 0.4f * (y - 0.7f)));
    return pic.at(px, py);
}

struct Spot {
    const char* name;
    float x, y;
};

// One point well inside each of the seven bars.
constexpr Spot barSpots[] = {
    {"slanted bar", 0.33f, 0.2f},      {"cross bar", 1.3f, 0.7f},
    {"upright", 1.825f, 0.7f},         {"lower bar", 2.0f, 0.12f},
    {"lower slanted bar", 2.4f, 0.4f}, {"short inner bar", 2.5f, 0.7f},
    {"upper bar", 2.5f, 1.275f},
};

// Holes between the bars and points just beyond the outline.
constexpr Spot gapSpots[] = {
    {"under the cross bar", 1.2f, 0.3f},
    {"right of the upright", 2.5f, 1.0f},
    {"above the lower bar", 2.08f, 0.42f},
    {"left of the slanted bar", 0.3f, 1.2f},
    {"right of the lower bar", 3.2f, 0.3f},
    {"beyond the left", -0.1f, 0.7f},
    {"beyond the right", 3.5f, 0.7f},
    {"above", 1.8f, 1.5f},
    {"below", 1.8f, -0.1f},
};

bool onlyRed(Pixel p) {
    return p.r > 20 && p.g <= 1 && p.b <= 1;
}

// Runs loadTexture in a fresh folder holding the given marmor.bmp (or none),
// as the viewer does in its working directory at start-up.
std::string loadTextureFrom(const std::vector<unsigned char>* marmorBmp) {
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    const fs::path folder = fs::temp_directory_path() / "ovrik-render-texture";
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (marmorBmp != nullptr) {
        EXPECT_TRUE(writeFile((folder / "marmor.bmp").string(), *marmorBmp));
    }
    fs::current_path(folder);
    scene.textureName = 0;
    ::testing::internal::CaptureStdout();
    loadTexture();
    std::string printed = ::testing::internal::GetCapturedStdout();
    fs::current_path(previous);
    fs::remove_all(folder);
    return printed;
}

std::vector<unsigned char> oneColourBitmap(int width, int height, unsigned char r, unsigned char g,
                                           unsigned char b) {
    std::vector<unsigned char> rgb;
    for (int i = 0; i < width * height; ++i) {
        rgb.insert(rgb.end(), {r, g, b});
    }
    return encodeBitmap(width, height, rgb);
}

int countDifferent(const Picture& a, const Picture& b) {
    int changed = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        changed +=
            a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2];
    }
    return changed;
}

// Expects check to hold for the pixel at every spot.
template <size_t N, typename Check>
void expectAtSpots(const Picture& pic, const Spot (&spots)[N], Check check) {
    for (const Spot& s : spots) {
        Pixel p = sample(pic, s.x, s.y);
        EXPECT_TRUE(check(p)) << s.name << ": " << p.r << " " << p.g << " " << p.b;
    }
}

class Render : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static bool opened = false;
        if (!opened) {
            static char name[] = "ovrik-render-tests";
            static char* argv[] = {name, nullptr};
            int argc = 1;
            openWindow(&argc, argv);
            opened = true;
        }
    }

    // Every test starts untextured; the texture tests make their own.
    void SetUp() override {
        scene = SceneState{};
        scene.windowWidth = 400;
        scene.windowHeight = 400;
        resizeWindow(400, 400);
        pumpEvents(20, [] { return false; });
    }
};

TEST_F(Render, BackgroundIsGreyAtTheCorners) {
    Picture pic = drawFrame();
    for (auto [x, y] :
         {std::pair{0, 0}, std::pair{399, 0}, std::pair{0, 399}, std::pair{399, 399}}) {
        SCOPED_TRACE(::testing::Message() << x << "," << y);
        Pixel p = pic.at(x, y);
        EXPECT_TRUE(isBackground(p)) << p.r << " " << p.g << " " << p.b;
    }
}

TEST_F(Render, EveryBarShowsTheLitGreenMaterial) {
    Picture pic = drawFrame();
    for (const Spot& s : barSpots) {
        SCOPED_TRACE(s.name);
        Pixel p = sample(pic, s.x, s.y);
        EXPECT_FALSE(isBackground(p));
        // Material (0.2, 0.6, 0.4) under a white light: green leads.
        EXPECT_GT(p.g, p.b + 10);
        EXPECT_GT(p.b, p.r + 10);
    }
}

TEST_F(Render, GapsBetweenAndAroundTheBarsShowBackground) {
    expectAtSpots(drawFrame(), gapSpots, isBackground);
}

TEST_F(Render, LogoIsCentredAndFaceOn) {
    Picture pic = drawFrame();
    // The 3.4 x 1.4 outline covers 272 x 112 pixels around the centre.
    int left = pic.width, right = -1, bottom = pic.height, top = -1;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            if (!isBackground(pic.at(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::min(bottom, y);
                top = std::max(top, y);
            }
        }
    }
    EXPECT_NEAR(left, 64, 2);
    EXPECT_NEAR(right, 335, 2);
    EXPECT_NEAR(bottom, 144, 2);
    EXPECT_NEAR(top, 255, 2);
}

TEST_F(Render, RotationKeyTurnsThePicture) {
    Picture before = drawFrame();
    keyboard('x', 0, 0);
    EXPECT_EQ(scene.angleX, 5.0);
    Picture after = drawFrame();
    EXPECT_GT(countDifferent(before, after), 1000);
    // Turning about x tilts the logo; the left-to-right span stays.
    keyboard('X', 0, 0);
    Picture back = drawFrame();
    EXPECT_EQ(back.rgb, before.rgb);
}

TEST_F(Render, ColourKeyMakesTheLogoGreener) {
    Picture before = drawFrame();
    for (int i = 0; i < 8; ++i) {
        keyboard('G', 0, 0);
    }
    Picture after = drawFrame();
    for (const Spot& s : barSpots) {
        SCOPED_TRACE(s.name);
        Pixel b = sample(before, s.x, s.y);
        Pixel a = sample(after, s.x, s.y);
        EXPECT_GT(a.g, b.g + 20);
        EXPECT_NEAR(a.r, b.r, 1);
        EXPECT_NEAR(a.b, b.b, 1);
    }
}

TEST_F(Render, DraggingMovesTheLight) {
    const Spot leftBar = barSpots[0];
    const Spot rightBar = barSpots[6];
    motion(0, 200);
    Picture litFromLeft = drawFrame();
    motion(400, 200);
    Picture litFromRight = drawFrame();
    EXPECT_GT(sample(litFromLeft, leftBar.x, leftBar.y).sum(),
              sample(litFromLeft, rightBar.x, rightBar.y).sum() + 30);
    EXPECT_GT(sample(litFromRight, rightBar.x, rightBar.y).sum(),
              sample(litFromRight, leftBar.x, leftBar.y).sum() + 30);
}

TEST_F(Render, WideWindowStretchesTheLogoHorizontally) {
    auto span = [](const Picture& pic, bool horizontal) {
        // Row through the centre, or the column through the upright.
        int first = -1, last = -1;
        int n = horizontal ? pic.width : pic.height;
        for (int i = 0; i < n; ++i) {
            Pixel p = horizontal ? pic.at(i, pic.height / 2)
                                 : pic.at(static_cast<int>(pic.width * 0.525f), i);
            if (!isBackground(p)) {
                first = first < 0 ? i : first;
                last = i;
            }
        }
        return last - first;
    };
    Picture square = drawFrame();
    resizeWindow(800, 400);
    Picture wide = drawFrame();
    ASSERT_EQ(wide.width, 800);
    EXPECT_NEAR(span(wide, true), 2 * span(square, true), 4);
    EXPECT_NEAR(span(wide, false), span(square, false), 2);
    // The viewport covers the whole window: the far corner is background.
    EXPECT_TRUE(isBackground(wide.at(799, 399)));
}

TEST_F(Render, ZeroHeightWindowStillDraws) {
    reshape(400, 0);
    display();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    reshape(400, 400);
}

TEST_F(Render, MarbleCoversTheLogoOnly) {
    Picture plain = drawFrame();
    std::vector<unsigned char> marble = encodeBitmap(256, 256, makeMarble(256));
    EXPECT_EQ(loadTextureFrom(&marble), "");
    ASSERT_NE(scene.textureName, 0u);
    Picture textured = drawFrame();
    EXPECT_GT(countDifferent(plain, textured), 2000);
    expectAtSpots(textured, gapSpots, isBackground);
    // The marble modulates the material: the bars stay green, only darker
    // where a vein runs.
    for (const Spot& s : barSpots) {
        SCOPED_TRACE(s.name);
        Pixel p = sample(textured, s.x, s.y);
        EXPECT_GT(p.g, p.r);
        EXPECT_LE(p.g, sample(plain, s.x, s.y).g + 1);
    }
}

TEST_F(Render, RedTextureLeavesOnlyTheRedChannel) {
    // Width 5: rows of 15 bytes, packed without padding, must still upload
    // without shifting the colour channels.
    for (int width : {4, 5}) {
        SCOPED_TRACE(width);
        std::vector<unsigned char> red = oneColourBitmap(width, 4, 255, 0, 0);
        EXPECT_EQ(loadTextureFrom(&red), "");
        ASSERT_NE(scene.textureName, 0u);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4);
        expectAtSpots(drawFrame(), barSpots, onlyRed);
    }
}

TEST_F(Render, WithoutTheFileTheLogoIsDrawnUntextured) {
    EXPECT_EQ(loadTextureFrom(nullptr), "File Not Found : marmor.bmp\n");
    EXPECT_EQ(scene.textureName, 0u);
    Picture unbound = drawFrame();
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    glDisable(GL_TEXTURE_2D);
    Picture untextured = drawFrame();
    glEnable(GL_TEXTURE_2D);
    EXPECT_EQ(unbound.rgb, untextured.rgb);
}

} // namespace
