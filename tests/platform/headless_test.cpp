#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/headless_env.h"
#include "support/scratch_dir.h"

namespace {

using namespace platform;
using platform::headless::HeadlessAudio;

class HeadlessAudioTest : public HeadlessTest {};

TEST_F(HeadlessAudioTest, ChannelPlaysForTheLengthOfItsChunk) {
  ASSERT_TRUE(hl.audio->Open());
  std::vector<uint8_t> pcm(22050);  // 1 s of 8-bit mono at 22050 Hz
  const ChunkId one = hl.audio->LoadChunk({1, 22050, 8}, pcm.data(), pcm.size());
  const ChunkId half = hl.audio->LoadChunk({2, 22050, 16}, pcm.data(), pcm.size());  // 250 ms
  ASSERT_NE(one, 0);
  ASSERT_NE(half, 0);
  ASSERT_NE(one, half);

  hl.clock->Set(1000);
  const int a = hl.audio->PlayChunk(one, false);
  const int b = hl.audio->PlayChunk(half, false);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_NE(a, b);
  hl.clock->Advance(249);
  EXPECT_TRUE(hl.audio->ChannelPlaying(b));
  hl.clock->Advance(1);
  EXPECT_FALSE(hl.audio->ChannelPlaying(b));
  EXPECT_TRUE(hl.audio->ChannelPlaying(a));
  hl.clock->Advance(750);
  EXPECT_FALSE(hl.audio->ChannelPlaying(a));

  ASSERT_EQ(hl.audio->Plays().size(), 2u);
  EXPECT_EQ(hl.audio->Plays()[0].chunk, one);
  EXPECT_EQ(hl.audio->Plays()[0].time, 1000u);
  EXPECT_EQ(hl.audio->Plays()[1].channel, b);
}

TEST_F(HeadlessAudioTest, FinishedChannelsAreReusedAndAllBusyGivesMinusOne) {
  ASSERT_TRUE(hl.audio->Open());
  std::vector<uint8_t> pcm(11025);
  const ChunkId c = hl.audio->LoadChunk({1, 11025, 8}, pcm.data(), pcm.size());
  for (int i = 0; i < HeadlessAudio::kChannels; ++i) EXPECT_EQ(hl.audio->PlayChunk(c, false), i);
  EXPECT_EQ(hl.audio->PlayChunk(c, false), -1);
  hl.audio->StopChannel(5);
  EXPECT_EQ(hl.audio->PlayChunk(c, true), 5);
  hl.clock->Advance(1000);  // every one-shot play has ended, the looped one goes on
  EXPECT_TRUE(hl.audio->ChannelPlaying(5));
  EXPECT_EQ(hl.audio->PlayChunk(c, false), 0);
  hl.audio->FreeChunk(c);
  EXPECT_FALSE(hl.audio->ChannelPlaying(5));
  EXPECT_EQ(hl.audio->PlayChunk(c, false), -1);
}

TEST_F(HeadlessAudioTest, WithoutADeviceEverythingIsSilent) {
  hl.audio->SetDeviceAvailable(false);
  EXPECT_FALSE(hl.audio->Open());
  std::vector<uint8_t> pcm(100);
  const ChunkId c = hl.audio->LoadChunk({1, 11025, 8}, pcm.data(), pcm.size());
  EXPECT_EQ(c, 0);
  EXPECT_EQ(hl.audio->PlayChunk(c, false), -1);
  EXPECT_TRUE(hl.audio->Plays().empty());
}

TEST_F(HeadlessAudioTest, RefusesFormatsThatAreNotPcm) {
  ASSERT_TRUE(hl.audio->Open());
  std::vector<uint8_t> pcm(100);
  EXPECT_EQ(hl.audio->LoadChunk({1, 11025, 12}, pcm.data(), pcm.size()), 0);
  EXPECT_EQ(hl.audio->LoadChunk({0, 11025, 8}, pcm.data(), pcm.size()), 0);
  EXPECT_EQ(hl.audio->LoadChunk({1, 0, 8}, pcm.data(), pcm.size()), 0);
}

TEST_F(HeadlessTest, MusicFinishPostsTheEventAndLogsCalls) {
  std::string error;
  EXPECT_FALSE(hl.music->Open("/nonexistent/music.mp3", error));
  EXPECT_FALSE(error.empty());

  ScratchDir dir("kx_headless");
  const std::string path = dir / "music.wav";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_TRUE(hl.music->Open(path, error));
  hl.music->SetLengthMs(5000);
  hl.clock->Set(100);
  ASSERT_TRUE(hl.music->Play(1000, error));
  hl.clock->Advance(300);
  EXPECT_EQ(hl.music->PositionMs(), 1300u);
  EXPECT_TRUE(hl.music->Playing());

  Event e;
  while (hl.events->Poll(e)) {
  }
  hl.music->Finish();
  EXPECT_FALSE(hl.music->Playing());
  ASSERT_TRUE(hl.events->Poll(e));
  EXPECT_EQ(e.kind, EventKind::MusicFinished);
  EXPECT_FALSE(hl.events->Poll(e));

  hl.music->Stop();
  hl.music->Close();
  const std::vector<std::string> expected = {"Open /nonexistent/music.mp3 failed", "Open " + path,
                                             "Play 1000", "Stop", "Close"};
  EXPECT_EQ(hl.music->Log(), expected);
  std::remove(path.c_str());
}

TEST_F(HeadlessTest, KeyboardStatesAgreeLikeARealKeyboard) {
  uint8_t vk[256];
  std::vector<uint8_t> sc(SC_COUNT);
  hl.keyboard->Press(VK_SHIFT);
  hl.keyboard->Press('A');
  hl.keyboard->PressScancode(SC_KP_ENTER);
  hl.keyboard->VirtualKeyState(vk);
  EXPECT_EQ(vk[VK_SHIFT], 0x80);
  EXPECT_EQ(vk[VK_LSHIFT], 0x80);
  EXPECT_EQ(vk['A'], 0x80);
  EXPECT_EQ(vk[VK_RETURN], 0x80);
  EXPECT_EQ(vk['B'], 0);
  ASSERT_TRUE(hl.keyboard->ScancodeState(sc.data(), SC_COUNT));
  EXPECT_EQ(sc[SC_A], 0x80);
  EXPECT_EQ(sc[SC_LSHIFT], 0x80);
  EXPECT_EQ(sc[SC_RETURN], 0);  // keypad Enter, not the main one

  hl.keyboard->Release(VK_RETURN);
  hl.keyboard->VirtualKeyState(vk);
  EXPECT_EQ(vk[VK_RETURN], 0);
  hl.keyboard->SetReadFails(true);
  EXPECT_FALSE(hl.keyboard->ScancodeState(sc.data(), SC_COUNT));
  hl.keyboard->ReleaseAll();
  hl.keyboard->VirtualKeyState(vk);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(vk[i], 0) << i;
}

TEST_F(HeadlessTest, JoysticksRecordEffectsAndAnnouncePlugging) {
  Event e;
  while (hl.events->Poll(e)) {
  }
  const int plain = hl.joysticks->Plug({.buttons = 2});
  const int ff = hl.joysticks->Plug({.buttons = 8, .periodic = true});
  EXPECT_EQ(hl.joysticks->Count(), 2);
  ASSERT_TRUE(hl.events->Poll(e));
  EXPECT_EQ(e.kind, EventKind::JoystickChanged);

  hl.joysticks->SetButtons(plain, 0xFF);  // buttons it does not have never read as held
  JoystickState st;
  ASSERT_TRUE(hl.joysticks->Read(plain, st));
  EXPECT_EQ(st.buttons, 0x3u);

  PeriodicEffect fx;
  fx.magnitude = 7000;
  fx.durationUs = 250000;
  EXPECT_FALSE(hl.joysticks->PlayPeriodic(plain, fx));
  hl.clock->Set(42);
  EXPECT_TRUE(hl.joysticks->PlayPeriodic(ff, fx));
  ASSERT_EQ(hl.joysticks->Effects().size(), 1u);
  EXPECT_EQ(hl.joysticks->Effects()[0].effect.magnitude, 7000);
  EXPECT_EQ(hl.joysticks->Effects()[0].time, 42u);

  hl.joysticks->Unplug(plain);
  EXPECT_EQ(hl.joysticks->Count(), 1);
  EXPECT_TRUE(hl.joysticks->SupportsPeriodic(0));  // the force-feedback pad moved down
  EXPECT_FALSE(hl.joysticks->Read(1, st));
}

TEST_F(HeadlessTest, VideoCopiesFramesAndReadsPixelsBack) {
  std::vector<uint16_t> px(4 * 3, 0);
  px[1 * 4 + 2] = 0xF800;  // red at (2, 1)
  hl.video->Present({px.data(), 4 * 2, 4, 3, 16});
  px[1 * 4 + 2] = 0;  // the capture is a copy, not a view
  EXPECT_EQ(hl.video->FrameCount(), 1);
  EXPECT_EQ(hl.video->Pixel565(2, 1), 0xF800);
  EXPECT_EQ(hl.video->PixelRGB(2, 1), 0xFF0000u);
  EXPECT_EQ(hl.video->PixelRGB(1, 1), 0u);

  // 32-bit rows with padding: blue in the low byte.
  std::vector<uint32_t> px32(8 * 2, 0);
  px32[8 + 1] = 0x0000FF;
  hl.video->Present({px32.data(), 8 * 4, 2, 2, 32});
  EXPECT_EQ(hl.video->LastFrame().pitch, 8);
  EXPECT_EQ(hl.video->PixelRGB(1, 1), 0x0000FFu);
  EXPECT_EQ(hl.video->Pixel565(1, 1), 0x001F);
  EXPECT_EQ(hl.video->PixelRGB(5, 1), 0u);  // outside the frame
}

TEST_F(HeadlessTest, EventsKeepOrderAndSplitText) {
  hl.events->PushKeyDown(VK_RETURN, true);
  hl.events->PushText("Жa");
  Event e;
  ASSERT_TRUE(hl.events->Wait(e, 1000));
  EXPECT_EQ(e.kind, EventKind::KeyDown);
  EXPECT_TRUE(e.alt);
  ASSERT_TRUE(hl.events->Poll(e));
  EXPECT_EQ(e.ch, U'Ж');
  ASSERT_TRUE(hl.events->Poll(e));
  EXPECT_EQ(e.ch, U'a');
  EXPECT_FALSE(hl.events->Poll(e));
}

}  // namespace

namespace {

TEST_F(HeadlessTest, TextIsTheRealRasteriser) {
  const platform::TextMask m = hl.text->Render("Comic Sans MS", 20, false, false, "Ж");
  if (m.width == 0) GTEST_SKIP() << "no usable font installed";
  int inked = 0;
  for (uint8_t c : m.coverage) inked += c > 128;
  EXPECT_GT(inked, 20);
  // The same object behind every Install: a second platform renders identically.
  platform::Uninstall();
  hl = platform::headless::Install();
  EXPECT_EQ(hl.text->Render("Comic Sans MS", 20, false, false, "Ж").coverage, m.coverage);
}

}  // namespace
