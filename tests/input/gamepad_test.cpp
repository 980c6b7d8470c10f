// Gamepads as the input component reads them: directions and button 1 from every pad present,
// the joystick path left to the devices without a mapping, and the pulse as a rumble.
#include <gtest/gtest.h>

#include "input/dxinput.h"
#include "input_fixture.h"

namespace {
platform::GamepadState Pad(uint32_t buttons, int leftX = 0, int leftY = 0) {
  platform::GamepadState st;
  st.buttons = buttons;
  st.leftX = leftX;
  st.leftY = leftY;
  return st;
}
}  // namespace

TEST_F(InputTest, AGamepadsStickAndDpadGiveTheDirectionsAndAButtonOne) {
  const int pad = hl.joysticks->PlugGamepad();
  input->Update();
  EXPECT_EQ(input->Gamepad().Count(), 1);
  EXPECT_TRUE(input->States().Empty());
  // The stick inside its dead band reads nothing; past it, the direction.
  hl.joysticks->SetGamepad(pad, Pad(0, TGamepad::kStickThreshold, -TGamepad::kStickThreshold));
  input->Update();
  EXPECT_TRUE(input->States().Empty());
  hl.joysticks->SetGamepad(pad, Pad(0, 32767, -32768));
  input->Update();
  EXPECT_TRUE(input->States().Contains(isRight));
  EXPECT_TRUE(input->States().Contains(isUp));
  EXPECT_FALSE(input->States().Contains(isLeft));
  hl.joysticks->SetGamepad(
      pad, Pad(1u << platform::kPadLeft | 1u << platform::kPadDown | 1u << platform::kPadA));
  input->Update();
  EXPECT_TRUE(input->States().Contains(isLeft));
  EXPECT_TRUE(input->States().Contains(isDown));
  EXPECT_TRUE(input->States().Contains(isButton1));
  EXPECT_FALSE(input->States().Contains(isRight));
  // A gamepad is no joystick: the joystick path sees none.
  EXPECT_EQ(input->Joystick().DeviceIndex(), -1);
  EXPECT_EQ(input->Joystick().AxisX(), 0);
  // Two pads count as one player: either one steers.
  const int second = hl.joysticks->PlugGamepad();
  hl.joysticks->SetGamepad(pad, Pad(0));
  hl.joysticks->SetGamepad(second, Pad(1u << platform::kPadRight));
  input->Update();
  EXPECT_EQ(input->Gamepad().Count(), 2);
  EXPECT_TRUE(input->States().Contains(isRight));
}

TEST_F(InputTest, AGamepadReadsNothingWhileTheWindowIsNotInFront) {
  const int pad = hl.joysticks->PlugGamepad();
  hl.joysticks->SetGamepad(pad, Pad(1u << platform::kPadA));
  hl.video->SetForeground(false);
  input->Update();
  EXPECT_FALSE(input->States().Contains(isButton1));
  TForceFeedbackEffect& e = input->Joystick().Effects().FindEffect("eff1");
  EXPECT_FALSE(input->Gamepad().Rumble(e));
  hl.video->SetForeground(true);
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton1));
}

TEST_F(InputTest, APulseRumblesEveryPadWithMotorsAtItsForceAndLength) {
  hl.joysticks->PlugGamepad(/*rumble=*/true);
  hl.joysticks->PlugGamepad(/*rumble=*/false);
  hl.joysticks->PlugGamepad(/*rumble=*/true);
  input->Update();
  TForceFeedbackEffect& e = input->Joystick().Effects().FindEffect("eff1");
  ASSERT_TRUE(input->Gamepad().Rumble(e));  // the game's pulse: full force, 50 ms
  const auto& played = hl.joysticks->Effects();
  ASSERT_EQ(played.size(), 2u);
  EXPECT_EQ(played[0].index, 0);
  EXPECT_EQ(played[1].index, 2);
  for (const auto& p : played) {
    EXPECT_TRUE(p.gamepad);
    EXPECT_FLOAT_EQ(p.strength, 1.0f);
    EXPECT_EQ(p.ms, 50u);
  }
  hl.joysticks->ClearEffects();
  e.SetConstantX(3000);
  e.SetConstantY(4000);  // magnitude 5000
  e.SetPower(5000);
  e.SetTime(-1);  // endless: a second of it
  input->Gamepad().Rumble(e);
  ASSERT_EQ(played.size(), 2u);
  EXPECT_FLOAT_EQ(played[0].strength, 0.25f);
  EXPECT_EQ(played[0].ms, 1000u);
}

TEST_F(InputTest, APadPulledOutLetsGoOfItsButtons) {
  const int pad = hl.joysticks->PlugGamepad();
  hl.joysticks->SetGamepad(pad, Pad(1u << platform::kPadStart | 1u << platform::kPadA));
  hl.events->Clear();
  hl.joysticks->UnplugGamepad(pad);
  // Key-ups of A and Start, then the plug notice.
  std::vector<platform::Event> seen;
  platform::Event ev;
  while (hl.events->Poll(ev)) seen.push_back(ev);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].kind, platform::EventKind::KeyUp);
  EXPECT_EQ(seen[0].vk, platform::VK_GAMEPAD_A);
  EXPECT_EQ(seen[1].vk, platform::VK_GAMEPAD_MENU);
  EXPECT_EQ(seen[2].kind, platform::EventKind::GamepadChanged);
  input->Update();
  EXPECT_EQ(input->Gamepad().Count(), 0);
  EXPECT_FALSE(input->States().Contains(isButton1));
}
