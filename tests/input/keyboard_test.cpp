#include <gtest/gtest.h>

#include <vector>

#include "input/device_keys.h"
#include "input/dxinput.h"
#include "input_fixture.h"
#include "platform/keys.h"
#include "toolkit/resources.h"

using namespace platform;

namespace {

// The expected states as a list, for readable failure messages.
std::vector<int> Members(const TInputStates& s) {
  std::vector<int> out;
  for (int t = 0; t < kInputStateCount; ++t)
    if (s.Contains(t)) out.push_back(t);
  return out;
}

std::vector<uint8_t> LittleEndian(const std::vector<int32_t>& codes) {
  std::vector<uint8_t> out;
  for (int32_t c : codes) {
    auto u = static_cast<uint32_t>(c);
    out.push_back(u & 0xFF);
    out.push_back((u >> 8) & 0xFF);
    out.push_back((u >> 16) & 0xFF);
    out.push_back(u >> 24);
  }
  return out;
}

}  // namespace

TEST_F(InputTest, GameTableSteersWithLettersArrowsAndKeypad) {
  struct Case {
    int sc;
    int state;
  };
  const Case cases[] = {
      {SC_K, isUp},
      {SC_UP, isUp},
      {SC_KP_8, isUp},
      {SC_J, isDown},
      {SC_DOWN, isDown},
      {SC_KP_2, isDown},
      {SC_A, isLeft},
      {SC_LEFT, isLeft},
      {SC_KP_4, isLeft},
      {SC_D, isRight},
      {SC_RIGHT, isRight},
      {SC_KP_6, isRight},
      {SC_Z, isButton1},
      {SC_SPACE, isButton1},
      {SC_X, isButton2},
      {SC_RETURN, isButton2},
      {SC_KP_ENTER, isButton2},
      {SC_F1 + 1, isButton9},
  };
  for (const Case& c : cases) {
    hl.keyboard->ReleaseAll();
    EXPECT_EQ(Members(PressAndUpdate(c.sc)), std::vector<int>{c.state}) << "scancode " << c.sc;
  }
  hl.keyboard->ReleaseAll();
  input->Update();
  EXPECT_TRUE(input->States().Empty());
}

TEST_F(InputTest, LeftAndRightTogetherSetBoth) {
  hl.keyboard->Press('A');
  hl.keyboard->Press(VK_RIGHT);
  input->Update();
  EXPECT_EQ(Members(input->States()), (std::vector<int>{isLeft, isRight}));
  // The game reads byte 0: bits 2 and 3.
  EXPECT_EQ(input->States().Byte(0), 0x0C);
}

TEST_F(InputTest, SpaceFiresAndEnterIsButtonTwo) {
  hl.keyboard->Press(VK_SPACE);
  input->Update();
  EXPECT_EQ(Members(input->States()), std::vector<int>{isButton1});
  EXPECT_EQ(input->States().Byte(0), 0x10);
  hl.keyboard->ReleaseAll();
  hl.keyboard->Press(VK_RETURN);
  input->Update();
  EXPECT_EQ(Members(input->States()), std::vector<int>{isButton2});
}

TEST_F(InputTest, DeviceKeyQuirksReachTheStates) {
  ASSERT_TRUE(input->Keyboard().DeviceLayer());
  // The apostrophe comes out as code 39, the Right arrow's.
  EXPECT_EQ(Members(PressAndUpdate(SC_APOSTROPHE)), std::vector<int>{isRight});
  EXPECT_TRUE(input->Keyboard().KeyDown(VK_RIGHT));
  hl.keyboard->ReleaseAll();
  // Full stop reads as Delete, left bracket as the left Windows key.
  PressAndUpdate(SC_PERIOD);
  EXPECT_TRUE(input->Keyboard().KeyDown(VK_DELETE));
  hl.keyboard->ReleaseAll();
  PressAndUpdate(SC_LEFTBRACKET);
  EXPECT_TRUE(input->Keyboard().KeyDown(VK_LWIN));
  EXPECT_FALSE(input->Keyboard().KeyDown(VK_OEM_4));
}

TEST_F(InputTest, WindowSystemKeysHaveNoQuirks) {
  input->SetUseDirectInput(false);
  ASSERT_FALSE(input->Keyboard().DeviceLayer());
  // Through the window system the apostrophe is its own key and sets nothing.
  EXPECT_TRUE(PressAndUpdate(SC_APOSTROPHE).Empty());
  EXPECT_TRUE(input->Keyboard().KeyDown(VK_OEM_7));
  EXPECT_FALSE(input->Keyboard().KeyDown(VK_RIGHT));
  hl.keyboard->ReleaseAll();
  // The table still works through the window system.
  EXPECT_EQ(Members(PressAndUpdate(SC_D)), std::vector<int>{isRight});
}

TEST_F(InputTest, CodeZeroNeverMatchesThoughUnmappedKeysSetIt) {
  TKeyAssignList table{};
  table[isButton3] = {0, 0, 0};
  table[isButton4] = {'A' + 256, -('A'), 0};  // codes outside 1 .. 255 never match
  table[isLeft] = {'A', 0, 0};
  input->Keyboard().SetAssigns(table);
  hl.keyboard->PressScancode(SC_GRAVE);  // no entry in the device table
  hl.keyboard->PressScancode(SC_MINUS);  // neither
  input->Update();
  EXPECT_TRUE(input->Keyboard().KeyDown(0));
  EXPECT_TRUE(input->States().Empty());
  hl.keyboard->PressScancode(SC_A);
  input->Update();
  EXPECT_EQ(Members(input->States()), std::vector<int>{isLeft});
}

TEST_F(InputTest, UnreadableKeyboardReportsNothing) {
  hl.keyboard->Press('A');
  hl.keyboard->SetReadFails(true);
  input->Update();
  EXPECT_TRUE(input->States().Empty());
  EXPECT_FALSE(input->Keyboard().KeyDown('A'));
  hl.keyboard->SetReadFails(false);
  input->Update();
  EXPECT_EQ(Members(input->States()), std::vector<int>{isLeft});
  hl.keyboard->FailNextReads(1);  // a lost device gets a second read, which succeeds
  input->Update();
  EXPECT_EQ(Members(input->States()), std::vector<int>{isLeft});
  hl.keyboard->FailNextReads(2);
  input->Update();
  EXPECT_TRUE(input->States().Empty());
}

TEST(DeviceKeys, FollowTheDeviceNumbering) {
  using dxinput::VkFromDeviceKey;
  for (int i = 0; i < 26; ++i) EXPECT_EQ(VkFromDeviceKey(SC_A + i), 'A' + i);
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(VkFromDeviceKey(SC_1 + i - 1), '0' + i);
  EXPECT_EQ(VkFromDeviceKey(SC_0), '0');
  for (int i = 0; i < 12; ++i) EXPECT_EQ(VkFromDeviceKey(SC_F1 + i), 112 + i);
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(VkFromDeviceKey(SC_KP_1 + i - 1), 96 + i);
  EXPECT_EQ(VkFromDeviceKey(SC_KP_0), 96);
  const std::pair<int, int> named[] = {
      {SC_ESCAPE, 27},
      {SC_BACKSPACE, 8},
      {SC_TAB, 9},
      {SC_RETURN, 13},
      {SC_KP_ENTER, 13},
      {SC_SPACE, 32},
      {SC_LSHIFT, 16},
      {SC_RSHIFT, 16},
      {SC_LCTRL, 17},
      {SC_RCTRL, 17},
      {SC_LALT, 18},
      {SC_RALT, 18},
      {SC_CAPSLOCK, 20},
      {SC_NUMLOCK, 144},
      {SC_SCROLLLOCK, 145},
      {SC_KP_PERIOD, 110},
      {SC_KP_PLUS, 107},
      {SC_KP_MINUS, 109},
      {SC_KP_DIVIDE, 111},
      {SC_LEFT, 37},
      {SC_UP, 38},
      {SC_RIGHT, 39},
      {SC_DOWN, 40},
      {SC_HOME, 36},
      {SC_END, 35},
      {SC_PAGEUP, 33},
      {SC_PAGEDOWN, 34},
      {SC_INSERT, 45},
      {SC_DELETE, 46},
      {SC_LGUI, 91},
      {SC_RGUI, 92},
      {SC_APPLICATION, 93},
      // Character codes instead of virtual keys.
      {SC_EQUALS, 61},
      {SC_LEFTBRACKET, 91},
      {SC_RIGHTBRACKET, 93},
      {SC_SEMICOLON, 59},
      {SC_APOSTROPHE, 39},
      {SC_BACKSLASH, 92},
      {SC_COMMA, 44},
      {SC_PERIOD, 46},
      {SC_SLASH, 47},
      {SC_KP_MULTIPLY, 42},
      // No entry.
      {SC_MINUS, 0},
      {SC_GRAVE, 0},
      {SC_PRINTSCREEN, 0},
      {SC_PAUSE, 0},
      {0, 0},
      {-1, 0},
      {SC_COUNT, 0},
      {100000, 0},
  };
  for (auto [sc, vk] : named) EXPECT_EQ(VkFromDeviceKey(sc), vk) << "scancode " << sc;
}

// ---------------------------------------------------------------------------------------------
TEST(KeyTable, DecodesLittleEndianRowByRow) {
  std::vector<int32_t> codes(108, 0);
  codes[0] = 0x01020304;
  codes[1] = -2;
  codes[107] = 255;
  TKeyAssignList t{};
  ASSERT_TRUE(DecodeAssigns(LittleEndian(codes), t));
  EXPECT_EQ(t[0][0], 0x01020304);
  EXPECT_EQ(t[0][1], -2);
  EXPECT_EQ(t[35][2], 255);
  EXPECT_EQ(EncodeAssigns(t), LittleEndian(codes));
}

TEST_F(InputTest, AssignsPropertyAcceptsBothNamesAndOnlyTheRightSize) {
  TKeyboard& kb = input->Keyboard();
  std::vector<int32_t> codes(108, 0);
  codes[isLeft * 3] = 'Q';
  const std::vector<uint8_t> bytes = LittleEndian(codes);

  EXPECT_TRUE(kb.ReadAssignsProperty("Aissgns", bytes));
  EXPECT_EQ(kb.Assigns()[isLeft][0], 'Q');
  EXPECT_EQ(kb.Assigns()[isRight][0], 0);

  const TKeyAssignList before = kb.Assigns();
  std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - 1);
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  std::vector<uint8_t> other = EncodeAssigns(kGameKeyAssigns);
  EXPECT_FALSE(kb.ReadAssignsProperty("Assigns", shorter));
  EXPECT_FALSE(kb.ReadAssignsProperty("Assigns", longer));
  EXPECT_FALSE(kb.ReadAssignsProperty("Assign", other));
  EXPECT_FALSE(kb.ReadAssignsProperty("assigns", other));
  EXPECT_EQ(kb.Assigns(), before);

  EXPECT_TRUE(kb.ReadAssignsProperty("Assigns", other));
  EXPECT_EQ(kb.Assigns(), kGameKeyAssigns);
  EXPECT_EQ(kb.WriteAssignsProperty(), other);
  EXPECT_EQ(other.size(), 432u);

  // The table read in is the one used.
  EXPECT_TRUE(kb.ReadAssignsProperty("Assigns", bytes));
  EXPECT_EQ(Members(PressAndUpdate(SC_Q)), std::vector<int>{isLeft});
}

TEST(KeyTable, GameValues) {
  TKeyAssignList expected{};
  expected[0] = {75, 38, 104};
  expected[1] = {74, 40, 98};
  expected[2] = {65, 37, 100};
  expected[3] = {68, 39, 102};
  expected[4] = {90, 32, 0};
  expected[5] = {88, 13, 0};
  expected[12] = {113, 0, 0};
  EXPECT_EQ(kGameKeyAssigns, expected);
  EXPECT_EQ(GameKeyAssigns(), expected);
  // When the program carries the table, it holds the same values.
  res::Blob blob = res::Find("DXInput.Keyboard.Assigns");
  if (blob) {
    TKeyAssignList carried{};
    ASSERT_TRUE(DecodeAssigns({blob.data, blob.size}, carried));
    EXPECT_EQ(carried, expected);
  }
}
