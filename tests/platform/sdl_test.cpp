// The SDL driver under SDL's dummy video and audio drivers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/keys.h"
#include "platform/sdl/sdl_platform.h"

namespace {

using namespace platform;

class SdlDriver : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // ctest sets these; a direct run of the binary must not open a real window either.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
};

TEST_F(SdlDriver, KeyMappingFollowsWindowsVirtualKeys) {
  // SDL keycodes written as numbers: 'a', '7', keypad Enter, grave accent, F5, left arrow.
  EXPECT_EQ(sdl::VkFromSdlKey('a', SC_A), 65);
  EXPECT_EQ(sdl::VkFromSdlKey('z', SC_Z), 90);
  EXPECT_EQ(sdl::VkFromSdlKey('7', SC_7), 55);
  EXPECT_EQ(sdl::VkFromSdlKey(0x40000058, SC_KP_ENTER), VK_RETURN);
  EXPECT_EQ(sdl::VkFromSdlKey('`', SC_GRAVE), 192);
  EXPECT_EQ(sdl::VkFromSdlKey(0x4000003E, SC_F1 + 4), VK_F1 + 4);
  EXPECT_EQ(sdl::VkFromSdlKey(0x40000050, SC_LEFT), VK_LEFT);
  EXPECT_EQ(sdl::VkFromSdlKey(0x4000005C, SC_KP_4), VK_NUMPAD4);
  EXPECT_EQ(sdl::VkFromSdlKey(0x400000E2, SC_LALT), VK_MENU);
  // AZERTY: the key at the Q position types 'a' and is VK 'A'.
  EXPECT_EQ(sdl::VkFromSdlKey('a', SC_Q), 65);
  // A Russian layout reports a Cyrillic keycode; the key's position decides.
  EXPECT_EQ(sdl::VkFromSdlKey(0x0444, SC_A), 65);
  EXPECT_EQ(sdl::VkFromSdlKey(0, 0), 0);
}

TEST_F(SdlDriver, ScancodeAndVirtualKeyTablesAgree) {
  for (int vk :
       {VK_RETURN,  VK_ESCAPE,  VK_SPACE, VK_LEFT, VK_UP,    VK_RIGHT, VK_DOWN,  VK_BACK,
        VK_TAB,     VK_DELETE,  VK_HOME,  VK_END,  VK_OEM_3, VK_MENU,  VK_SHIFT, VK_CONTROL,
        VK_NUMPAD0, VK_NUMPAD9, VK_F1,    VK_F12,  int{'A'}, int{'Z'}, int{'0'}, int{'9'}}) {
    const int sc = ScancodeFromVk(vk);
    ASSERT_NE(sc, 0) << vk;
    EXPECT_EQ(VkFromScancode(sc), vk) << vk;
  }
  EXPECT_EQ(ScancodeFromVk(VK_RETURN), SC_RETURN);  // the main Enter, not the keypad one
  EXPECT_EQ(SidedVkFromScancode(SC_RSHIFT), VK_RSHIFT);
  EXPECT_EQ(VkFromScancode(SC_PERIOD), VK_OEM_PERIOD);
  EXPECT_EQ(VkFromScancode(-1), 0);
  EXPECT_EQ(VkFromScancode(SC_COUNT), 0);
}

TEST_F(SdlDriver, TextRendersRussianIntoAPlausibleMask) {
  auto text = sdl::MakeText();
  const TextMask m = text->Render("Comic Sans MS", 16, false, false, "Рекорды:");
  if (m.width == 0) GTEST_SKIP() << "no usable font installed";
  EXPECT_GT(m.width, 8 * 5);  // eight glyphs of a 16 px face
  EXPECT_LT(m.width, 8 * 16);
  EXPECT_GE(m.height, 16);
  EXPECT_LT(m.height, 40);
  EXPECT_GT(m.ascent, 8);
  EXPECT_LE(m.ascent, m.height);
  ASSERT_EQ(m.coverage.size(), static_cast<size_t>(m.width) * m.height);
  int inked = 0;
  for (uint8_t c : m.coverage) inked += c > 128;
  EXPECT_GT(inked, 40);  // real glyphs, not empty boxes of nothing
  EXPECT_LT(inked, m.width * m.height / 2);

  int w = 0, h = 0;
  text->Measure("Comic Sans MS", 16, false, false, "Рекорды:", w, h);
  EXPECT_EQ(w, m.width);
  EXPECT_EQ(h, m.height);
  // Bold carries more ink (some faces keep the regular widths); a bigger face is wider.
  auto ink = [](const TextMask& t) {
    long sum = 0;
    for (uint8_t c : t.coverage) sum += c;
    return sum;
  };
  EXPECT_GT(ink(text->Render("Comic Sans MS", 16, true, false, "Рекорды:")), ink(m) * 11 / 10);
  EXPECT_GT(text->Render("Comic Sans MS", 32, false, false, "Рекорды:").width, m.width * 3 / 2);
  EXPECT_EQ(text->Render("Comic Sans MS", 16, false, false, "").width, 0);
}

TEST_F(SdlDriver, DummyVideoOpensAWindowAndPresents) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  p->video->OpenWindow("KobalTix", 800, 600);
  if (!p->video->WindowOpen()) GTEST_SKIP() << "no SDL video driver";
  p->video->Show();
  p->video->SetCaption("Kobaltix  [Pause]");
  EXPECT_EQ(p->video->Caption(), "Kobaltix  [Pause]");
  std::vector<uint16_t> frame16(800 * 600, 0xF800);
  p->video->Present({frame16.data(), 800 * 2, 800, 600, 16});
  std::vector<uint32_t> frame32(640 * 480, 0x00FF00);
  p->video->Present({frame32.data(), 640 * 4, 640, 480, 32});  // new size and format
  p->video->SetFullScreen(true);
  EXPECT_TRUE(p->video->FullScreen());
  p->video->Present({frame16.data(), 800 * 2, 800, 600, 16});
  bool has800x600x16 = false;
  for (const DisplayMode& m : p->video->Modes()) {
    has800x600x16 |= m.width == 800 && m.height == 600 && m.bits == 16;
  }
  EXPECT_TRUE(has800x600x16);
  EXPECT_GT(p->video->DesktopWidth(), 0);
  p->video->CloseWindow();
  EXPECT_FALSE(p->video->WindowOpen());
}

TEST_F(SdlDriver, PostedEventsComeBackInOrder) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  Event e;
  while (p->events->Poll(e)) {
  }
  Event a;
  a.kind = EventKind::User;
  a.code = 1;
  Event b = a;
  b.code = 2;
  p->events->Post(a);
  p->events->Post(b);
  std::vector<int> codes;
  while (p->events->Poll(e)) {
    if (e.kind == EventKind::User) codes.push_back(e.code);
  }
  EXPECT_EQ(codes, (std::vector<int>{1, 2}));
}

TEST_F(SdlDriver, DummyAudioPlaysAConvertedChunk) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  if (!p->audio->Open()) GTEST_SKIP() << "no SDL audio driver";
  std::vector<uint8_t> pcm(11025, 128);  // 1 s of 8-bit silence at 11025 Hz
  const ChunkId c = p->audio->LoadChunk({1, 11025, 8}, pcm.data(), pcm.size());
  ASSERT_NE(c, 0);
  const int ch = p->audio->PlayChunk(c, false);
  ASSERT_GE(ch, 0);
  EXPECT_TRUE(p->audio->ChannelPlaying(ch));
  p->audio->StopChannel(ch);
  EXPECT_FALSE(p->audio->ChannelPlaying(ch));
  EXPECT_EQ(p->audio->LoadChunk({1, 11025, 12}, pcm.data(), pcm.size()), 0);
  p->audio->FreeChunk(c);
  EXPECT_EQ(p->audio->PlayChunk(c, false), -1);
  std::string error;
  EXPECT_FALSE(p->music->Open("/nonexistent/music.mp3", error));
  EXPECT_FALSE(error.empty());
  p->audio->Close();
}

TEST_F(SdlDriver, MusicOpensOnlyARegularFileAndNeverBlocksOnAPipe) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  std::string dir = (std::filesystem::temp_directory_path() / "kx_sdlmusic_XXXXXX").string();
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const std::string pipe = dir + "/music.wav";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  std::string error;
  EXPECT_FALSE(p->music->Open(pipe, error));  // a plain open() would wait for a writer forever
  EXPECT_EQ(error, "Couldn't open '" + pipe + "'. Not a regular file");
  EXPECT_FALSE(p->music->IsOpenFile());
  std::filesystem::remove_all(dir);
  // The game's own piece opens through the same path and is decoded from the opened file.
  ASSERT_TRUE(p->music->Open(KX_DATA_DIR "/music/music.wav", error)) << error;
  EXPECT_TRUE(p->music->IsOpenFile());
  EXPECT_GT(p->music->LengthMs(), 0u);  // decoded, not opened silently
  p->music->Close();
}

TEST_F(SdlDriver, BusyMixerGrowsToTheBoundThenCutsTheOldestCopyOfTheSameChunk) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  if (!p->audio->Open()) GTEST_SKIP() << "no SDL audio driver";
  std::vector<uint8_t> pcm(20 * 11025, 128);  // 20 s: every play is still sounding at the end
  const ChunkId c = p->audio->LoadChunk({1, 11025, 8}, pcm.data(), pcm.size());
  const ChunkId d = p->audio->LoadChunk({1, 11025, 8}, pcm.data(), pcm.size());
  std::set<int> channels;
  for (int i = 0; i < 256; ++i) channels.insert(p->audio->PlayChunk(c, false));
  EXPECT_EQ(channels.size(), 256u);
  EXPECT_EQ(*channels.begin(), 0);
  EXPECT_EQ(*channels.rbegin(), 255);
  for (int ch : channels) EXPECT_TRUE(p->audio->ChannelPlaying(ch)) << ch;
  EXPECT_EQ(p->audio->PlayChunk(c, false), 0);  // the oldest copy gives way
  EXPECT_EQ(p->audio->PlayChunk(c, false), 1);
  EXPECT_EQ(p->audio->PlayChunk(d, false), -1);
  p->audio->Close();
}

}  // namespace

TEST_F(SdlDriver, AGamepadIsReadAsAGamepadOnlyAndItsButtonsArriveAsKeys) {
  auto p = sdl::Make();
  ASSERT_NE(p, nullptr);
  const int joysticksBefore = p->joysticks->Count();
  const int padsBefore = p->joysticks->GamepadCount();
  const int id = sdl::AttachVirtualGamepad();
  if (id < 0) GTEST_SKIP() << "SDL cannot make a virtual gamepad here";
  std::vector<Event> seen;
  Event e;
  while (p->events->Poll(e)) seen.push_back(e);
  auto has = [&](EventKind kind, int vk = 0) {
    for (const Event& s : seen)
      if (s.kind == kind && (vk == 0 || s.vk == vk)) return true;
    return false;
  };
  EXPECT_TRUE(has(EventKind::GamepadChanged));
  // The pad is a gamepad, not a second raw joystick.
  EXPECT_EQ(p->joysticks->GamepadCount(), padsBefore + 1);
  EXPECT_EQ(p->joysticks->Count(), joysticksBefore);
  const int pad = padsBefore;
  GamepadState st;
  ASSERT_TRUE(p->joysticks->ReadGamepad(pad, st));  // opens it: its buttons now reach the queue
  EXPECT_EQ(st.buttons, 0u);
  sdl::SetVirtualGamepadButton(id, kPadA, true);
  sdl::SetVirtualGamepadButton(id, kPadLeft, true);
  sdl::SetVirtualGamepadStick(id, 30000, -20000);
  seen.clear();
  while (p->events->Poll(e)) seen.push_back(e);
  ASSERT_TRUE(p->joysticks->ReadGamepad(pad, st));
  EXPECT_EQ(st.buttons, (1u << kPadA) | (1u << kPadLeft));
  EXPECT_EQ(st.leftX, 30000);
  EXPECT_EQ(st.leftY, -20000);
  EXPECT_TRUE(has(EventKind::KeyDown, VK_GAMEPAD_A));
  sdl::SetVirtualGamepadButton(id, kPadA, false);
  sdl::SetVirtualGamepadButton(id, kPadStart, true);
  sdl::SetVirtualGamepadButton(id, kPadBack, true);
  seen.clear();
  while (p->events->Poll(e)) seen.push_back(e);
  EXPECT_TRUE(has(EventKind::KeyUp, VK_GAMEPAD_A));
  EXPECT_TRUE(has(EventKind::KeyDown, VK_GAMEPAD_MENU));
  EXPECT_TRUE(has(EventKind::KeyDown, VK_GAMEPAD_VIEW));
  sdl::DetachVirtualGamepad(id);
  seen.clear();
  while (p->events->Poll(e)) seen.push_back(e);
  EXPECT_TRUE(has(EventKind::GamepadChanged));
  EXPECT_EQ(p->joysticks->GamepadCount(), padsBefore);
  EXPECT_FALSE(p->joysticks->ReadGamepad(pad, st));
}
