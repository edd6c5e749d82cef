// The progress bar position for a percentage of the current stage.
#include "app/progress.h"

#include <gtest/gtest.h>

#include "core/app_state.h"

namespace {

void SetStage(int16_t start, int16_t end) {
    AppState* state = GetAppState();
    *state = AppState{};
    state->sProgressStart = start;
    state->sProgressEnd = end;
}

TEST(MapProgress, ScalesThePercentageIntoTheStage) {
    SetStage(30, 40);
    EXPECT_EQ(MapProgress(50), 35);
    EXPECT_EQ(MapProgress(100), 40);
    EXPECT_EQ(MapProgress(1), 30);   // 30 + 10 * 1 / 100, truncated
    EXPECT_EQ(MapProgress(99), 39);  // truncated toward zero, never rounded up
    SetStage(0, 90);
    EXPECT_EQ(MapProgress(90), 81);
}

TEST(MapProgress, ZeroGivesTheStageStartAndLeavesTheEndAlone) {
    SetStage(30, 0);
    EXPECT_EQ(MapProgress(0), 30);
    EXPECT_EQ(GetAppState()->sProgressEnd, 0);
}

TEST(MapProgress, AnEndOfZeroIsReadAsAHundredAndKept) {
    SetStage(0, 0);
    EXPECT_EQ(MapProgress(50), 50);
    EXPECT_EQ(GetAppState()->sProgressEnd, 100);
    SetStage(60, 0);
    EXPECT_EQ(MapProgress(50), 80);
}

TEST(MapProgress, SignedArithmeticTruncatesTowardZero) {
    // A stage that runs backwards still maps without rounding away from zero.
    SetStage(50, 40);
    EXPECT_EQ(MapProgress(15), 49);  // 50 + (-10 * 15) / 100 = 50 - 1
}

}  // namespace
