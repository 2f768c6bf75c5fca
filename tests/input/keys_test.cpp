#include "input/keys.h"

#include <gtest/gtest.h>

#include "app/scene.h"
#include "input/callbacks.h"

namespace {

class Keys : public ::testing::Test {
  protected:
    void SetUp() override { scene = SceneState{}; }
    static void press(unsigned char key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            ASSERT_TRUE(applyKey(key));
        }
    }
};

TEST_F(Keys, RotationWrapsAtAFullTurnBothWays) {
    press('x', 71);
    EXPECT_EQ(scene.angleX, 355.0);
    press('x');
    EXPECT_EQ(scene.angleX, 0.0);
    press('Y', 71);
    EXPECT_EQ(scene.angleY, -355.0);
    press('Y');
    EXPECT_EQ(scene.angleY, 0.0);
}

TEST_F(Keys, MixedPressesPassThroughZeroWithoutWrapping) {
    press('Z', 2);
    EXPECT_EQ(scene.angleZ, -10.0);
    press('z');
    EXPECT_EQ(scene.angleZ, -5.0);
    press('z');
    EXPECT_EQ(scene.angleZ, 0.0);
    press('z');
    EXPECT_EQ(scene.angleZ, 5.0);
    press('Z');
    EXPECT_EQ(scene.angleZ, 0.0);
}

TEST_F(Keys, EachRotationKeyTurnsOnlyItsOwnAxis) {
    press('y');
    EXPECT_EQ(scene.angleX, 0.0);
    EXPECT_EQ(scene.angleY, 5.0);
    EXPECT_EQ(scene.angleZ, 0.0);
    press('X');
    EXPECT_EQ(scene.angleX, -5.0);
    EXPECT_EQ(scene.angleY, 5.0);
}

TEST_F(Keys, ColourClampsAtOneAndZero) {
    press('G', 7);
    EXPECT_LT(scene.logoColor[1], 1.0f);
    press('G');
    EXPECT_EQ(scene.logoColor[1], 1.0f);
    press('G', 3);
    EXPECT_EQ(scene.logoColor[1], 1.0f);

    press('b', 7);
    EXPECT_GT(scene.logoColor[2], 0.0f);
    press('b');
    EXPECT_EQ(scene.logoColor[2], 0.0f);
    press('b');
    EXPECT_EQ(scene.logoColor[2], 0.0f);
}

TEST_F(Keys, FloatResidueNearZeroIsKept) {
    press('r', 4);
    // 0.2 - 4 * 0.05 in float steps leaves a tiny positive value.
    EXPECT_GT(scene.logoColor[0], 0.0f);
    EXPECT_NEAR(scene.logoColor[0], 7.45e-9f, 1e-10f);
    press('r');
    EXPECT_EQ(scene.logoColor[0], 0.0f);
    press('R');
    EXPECT_FLOAT_EQ(scene.logoColor[0], 0.05f);
}

TEST_F(Keys, ExactBoundIsNotReplaced) {
    // A result that lands exactly on a bound is stored as it is.
    EXPECT_EQ(raiseComponent(0.5f, 0.5f), 1.0f);
    EXPECT_EQ(lowerComponent(0.5f, 0.5f), 0.0f);
    EXPECT_EQ(lowerComponent(0.25f, 0.5f), 0.0f);
    EXPECT_EQ(raiseComponent(0.75f, 0.5f), 1.0f);
}

TEST_F(Keys, OtherKeysChangeNothing) {
    const unsigned char keys[] = {'a', ' ', '0', '9', 'q', '\r', 255};
    for (unsigned char key : keys) {
        press(key);
    }
    SceneState initial;
    EXPECT_EQ(scene.logoColor, initial.logoColor);
    EXPECT_EQ(scene.angleX, 0.0);
    EXPECT_EQ(scene.angleY, 0.0);
    EXPECT_EQ(scene.angleZ, 0.0);
    EXPECT_EQ(scene.logoColor[3], 1.0f);
}

TEST_F(Keys, EscapeEndsTheProgramWithStatusZero) {
    EXPECT_FALSE(applyKey(27));
    EXPECT_EXIT(keyboard(27, 0, 0), ::testing::ExitedWithCode(0), "");
}

} // namespace
