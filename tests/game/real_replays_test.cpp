// The real games of tests/replays/ (played on the real program under a virtual X server by
// scripts/record_replays.sh; scripted_all_levels is the game's recorder on the headless twin with
// a scripted player through all twenty levels, several balls and the gun) play back to their
// recorded end, frame by frame, on the build's data: any change to what the rules do with the
// same input stops one of them at the frame it differs.
#include <gtest/gtest.h>

#include <filesystem>

#include "game/globals.h"
#include "game/replay_file.h"
#include "game/replay_player.h"
#include "toolkit/random.h"

namespace fs = std::filesystem;

namespace {

class RealReplays : public ::testing::TestWithParam<std::string> {};

TEST_P(RealReplays, PlayToTheirRecordedEnd) {
  const std::string file = std::string(KX_SOURCE_DIR) + "/tests/replays/" + GetParam() + ".kbr";
  ASSERT_TRUE(fs::exists(file)) << file;
  const fs::path old = fs::current_path();
  fs::current_path(KX_DATA_DIR);
  ResetGameGlobals();
  ClearScriptedRandom();
  testing::internal::CaptureStdout();
  const int status = replay::RunReplay(file, true);
  const std::string said = testing::internal::GetCapturedStdout();
  fs::current_path(old);
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find(", ok"), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Recorded, RealReplays,
                         ::testing::Values("level_cleared", "game_over_record", "focus_pause",
                                           "many_lives", "scripted_all_levels"));

}  // namespace
