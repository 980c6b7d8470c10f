#include <gtest/gtest.h>

#include <climits>

#include "input/dxinput.h"
#include "input_fixture.h"

namespace {

int Scale(int p, int lo, int hi, int dz, int range) {
  return TJoystick::ScaleAxis(p, lo, hi, dz, range);
}

}  // namespace

// The platform's axes run -32768 .. 32767: r = 32767, middle -1, dz = 16383 (half of r), and
// outside the dead zone a reading is (|q| - 16383) * range / 16384.
TEST(AxisScale, DeadZoneAndEnds) {
  const int lo = -32768, hi = 32767;
  EXPECT_EQ(Scale(-1, lo, hi, 50, 300), 0);
  EXPECT_EQ(Scale(0, lo, hi, 50, 300), 0);
  EXPECT_EQ(Scale(16382, lo, hi, 50, 300), 0);    // q = 16383 = dz: inside
  EXPECT_EQ(Scale(-16384, lo, hi, 50, 300), 0);   // q = -16383: inside
  EXPECT_EQ(Scale(hi, lo, hi, 50, 300), 300);     // 16385 * 300 / 16384 = 300.02
  EXPECT_EQ(Scale(lo, lo, hi, 50, 300), -300);    // -16384 * 300 / 16384
  EXPECT_EQ(Scale(24575, lo, hi, 50, 300), 150);  // 8193 * 300 / 16384 = 150.02
  EXPECT_EQ(Scale(-24577, lo, hi, 50, 300), -150);
  EXPECT_EQ(Scale(30000, lo, hi, 50, 300), 249);  // 13618 * 300 / 16384 = 249.35
  EXPECT_EQ(Scale(30030, lo, hi, 50, 300), 250);  // 13648 * 300 / 16384 = 249.90
  // An axis that starts at 0 has its middle at r.
  EXPECT_EQ(Scale(32767, 0, 65535, 50, 300), 0);
  EXPECT_EQ(Scale(65535, 0, 65535, 50, 300), 300);
  EXPECT_EQ(Scale(0, 0, 65535, 50, 300), -300);
  EXPECT_EQ(Scale(57343, 0, 65535, 50, 300), 150);
}

TEST(AxisScale, RoundsToNearestWithTiesToEven) {
  // 0 .. 200 without dead zone: r = 100, reading = q * range / 100.
  EXPECT_EQ(Scale(110, 0, 200, 0, 5), 0);  // 0.5
  EXPECT_EQ(Scale(130, 0, 200, 0, 5), 2);  // 1.5
  EXPECT_EQ(Scale(150, 0, 200, 0, 5), 2);  // 2.5
  EXPECT_EQ(Scale(170, 0, 200, 0, 5), 4);  // 3.5
  EXPECT_EQ(Scale(70, 0, 200, 0, 5), -2);  // -1.5
  EXPECT_EQ(Scale(112, 0, 200, 0, 5), 1);  // 0.6
  EXPECT_EQ(Scale(88, 0, 200, 0, 5), -1);  // -0.6
  EXPECT_EQ(Scale(108, 0, 200, 0, 5), 0);  // 0.4
}

TEST(AxisScale, WideProductsAndDegenerateAxes) {
  // 8193 * 1000000 does not fit in 32 bits: 500061.04.
  EXPECT_EQ(Scale(24575, -32768, 32767, 50, 1000000), 500061);
  // Whole 32-bit travel, huge range: still exact and within the range.
  EXPECT_EQ(Scale(INT_MAX, INT_MIN, INT_MAX, 0, INT_MAX), INT_MAX);
  EXPECT_EQ(Scale(INT_MIN, INT_MIN, INT_MAX, 0, INT_MAX), -INT_MAX);
  // A dead zone of 100 % or an axis without travel reads 0.
  EXPECT_EQ(Scale(32767, -32768, 32767, 100, 300), 0);
  EXPECT_EQ(Scale(5, 5, 5, 0, 300), 0);
  EXPECT_EQ(Scale(0, 10, -10, 0, 300), 0);
  // Positions beyond the reported ends stay within the range.
  EXPECT_EQ(Scale(1000, 0, 200, 0, 5), 5);
  EXPECT_EQ(Scale(-1000, 0, 200, 0, 5), -5);
  EXPECT_EQ(Scale(150, 0, 200, 0, 0), 0);
}

TEST_F(InputTest, JoystickAxesGiveDirectionsAndReadings) {
  int pad = PlugPad();
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), pad);
  hl.joysticks->SetAxes(pad, 32767, -32768, 32767);
  input->Update();
  EXPECT_EQ(input->Joystick().AxisX(), 300);
  EXPECT_EQ(input->Joystick().AxisY(), -300);
  EXPECT_EQ(input->Joystick().AxisZ(), 300);
  EXPECT_TRUE(input->States().Contains(isRight));
  EXPECT_TRUE(input->States().Contains(isUp));
  EXPECT_FALSE(input->States().Contains(isLeft));
  EXPECT_FALSE(input->States().Contains(isDown));

  hl.joysticks->SetAxes(pad, -30030, 30030);  // q = -30029 / 30031
  input->Update();
  EXPECT_EQ(input->Joystick().AxisX(), -250);  // -13646 * 300 / 16384 = -249.87
  EXPECT_EQ(input->Joystick().AxisY(), 250);   // 13648 * 300 / 16384 = 249.90
  EXPECT_TRUE(input->States().Contains(isLeft));
  EXPECT_TRUE(input->States().Contains(isDown));

  // Inside the dead zone: nothing.
  hl.joysticks->SetAxes(pad, 16000, -16000);
  input->Update();
  EXPECT_EQ(input->Joystick().AxisX(), 0);
  EXPECT_EQ(input->Joystick().AxisY(), 0);
  EXPECT_TRUE(input->States().Empty());
}

TEST_F(InputTest, JoystickButtonsAreStatesFourOn) {
  int pad = PlugPad(32);
  input->Update();
  hl.joysticks->SetButtons(pad, 0x80000001u);  // buttons 1 and 32
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton1));
  EXPECT_TRUE(input->States().Contains(isButton32));
  EXPECT_EQ(input->States().Byte(0), 0x10);
  EXPECT_EQ(input->States().Byte(4), 0x08);
  EXPECT_EQ(input->Joystick().Buttons()[0], 0x80);
  EXPECT_EQ(input->Joystick().Buttons()[31], 0x80);
  EXPECT_EQ(input->Joystick().Buttons()[1], 0);
  EXPECT_EQ(input->Joystick().ButtonCount(), 32);
}

TEST_F(InputTest, ButtonsBeyondTheDeviceCountAreIgnored) {
  int pad = PlugPad(2);
  input->Update();
  hl.joysticks->SetButtons(pad, 0x7u);
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton1));
  EXPECT_TRUE(input->States().Contains(isButton2));
  EXPECT_FALSE(input->States().Contains(isButton3));
}

TEST_F(InputTest, JoystickPluggedInLaterIsUsedAndUnpluggedIsDropped) {
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), -1);
  int pad = PlugPad();
  hl.joysticks->SetAxes(pad, -32768, 0);
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), pad);
  EXPECT_EQ(input->Joystick().AxisX(), -300);
  EXPECT_TRUE(input->States().Contains(isLeft));

  hl.joysticks->Unplug(pad);
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), -1);
  EXPECT_EQ(input->Joystick().AxisX(), 0);
  EXPECT_TRUE(input->States().Empty());
}

TEST_F(InputTest, JoystickNoticeFromTheMessageLoopRefindsTheDevice) {
  // Two joysticks swapped between frames keep the count; the notice still makes the component
  // look again (here: at the second pad's button count).
  PlugPad(2);
  input->Update();
  EXPECT_EQ(input->Joystick().ButtonCount(), 2);
  hl.joysticks->Unplug(0);
  int pad = PlugPad(12);
  platform::Event e;
  int notices = 0;
  while (hl.events->Poll(e)) {
    if (e.kind != platform::EventKind::JoystickChanged) continue;
    Application->Dispatch(e);
    ++notices;
  }
  EXPECT_EQ(notices, 3);
  EXPECT_EQ(input->Joystick().ButtonCount(), 12);
  hl.joysticks->SetButtons(pad, 1u << 11);
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton12));
}

TEST_F(InputTest, IdPicksAmongThePresentJoysticks) {
  int first = PlugPad();
  int second = PlugPad();
  hl.joysticks->SetAxes(first, 32767, 0);
  hl.joysticks->SetAxes(second, -32768, 0);
  input->Joystick().SetID(1);
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), second);
  EXPECT_EQ(input->Joystick().AxisX(), -300);
  input->Joystick().SetID(2);  // no third joystick: nothing
  input->Update();
  EXPECT_EQ(input->Joystick().DeviceIndex(), -1);
  EXPECT_TRUE(input->States().Empty());
  EXPECT_TRUE(input->Joystick().Initialized());
}

TEST_F(InputTest, KeyboardAndJoystickMerge) {
  int pad = PlugPad();
  hl.joysticks->SetButtons(pad, 1u);
  hl.keyboard->Press('A');
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton1));
  EXPECT_TRUE(input->States().Contains(isLeft));
  // An unbound device's states are kept out.
  input->Joystick().SetBindInputStates(false);
  input->Update();
  EXPECT_FALSE(input->States().Contains(isButton1));
  EXPECT_TRUE(input->Joystick().DeviceStates().Contains(isButton1));
  EXPECT_TRUE(input->States().Contains(isLeft));
}

TEST_F(InputTest, DisabledJoystickReadsNothing) {
  int pad = PlugPad();
  hl.joysticks->SetAxes(pad, 32767, 0);
  input->Joystick().SetEnabled(false);
  input->Update();
  EXPECT_FALSE(input->Joystick().Initialized());
  EXPECT_EQ(input->Joystick().AxisX(), 0);
  EXPECT_TRUE(input->States().Empty());
  input->Joystick().SetEnabled(true);
  input->Update();
  EXPECT_EQ(input->Joystick().AxisX(), 300);
}
