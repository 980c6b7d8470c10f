#include <gtest/gtest.h>

#include "input/dxinput.h"
#include "input/input_states.h"
#include "input_fixture.h"

using namespace platform;

TEST(InputStateSet, BitNOfByteNDivEight) {
  TInputStates s;
  EXPECT_TRUE(s.Empty());
  s.Include(isLeft);
  s.Include(isButton5);   // state 8: byte 1, bit 0
  s.Include(isButton32);  // state 35: byte 4, bit 3
  EXPECT_EQ(s.Byte(0), 0x04);
  EXPECT_EQ(s.Byte(1), 0x01);
  EXPECT_EQ(s.Byte(4), 0x08);
  EXPECT_TRUE(s.Contains(8));
  EXPECT_FALSE(s.Contains(9));
  s.Include(36);  // not a state
  s.Include(-1);
  EXPECT_FALSE(s.Contains(36));
  EXPECT_EQ(s.Byte(4), 0x08);
  s.Exclude(isButton5);
  EXPECT_EQ(s.Byte(1), 0);
  EXPECT_EQ(InputButton(1), isButton1);
  EXPECT_EQ(InputButton(32), isButton32);
  TInputStates t;
  t.Include(isUp);
  t |= s;
  EXPECT_EQ(t.Byte(0), 0x05);
  EXPECT_FALSE(t == s);
  s.Include(isUp);
  EXPECT_TRUE(t == s);
  t.Clear();
  EXPECT_TRUE(t.Empty());
}

TEST_F(InputTest, RemovedStateStaysRemovedUntilPressedAgain) {
  hl.keyboard->Press('A');
  input->Update();
  ASSERT_TRUE(input->States().Contains(isLeft));
  input->States().Exclude(isLeft);
  hl.keyboard->Press(VK_SPACE);
  input->Update();
  // Still held, but only edges change States: left stays out, the new press comes in.
  EXPECT_FALSE(input->States().Contains(isLeft));
  EXPECT_TRUE(input->States().Contains(isButton1));
  EXPECT_TRUE(input->PreviousStates().Contains(isLeft));
  input->Update();
  EXPECT_FALSE(input->States().Contains(isLeft));

  hl.keyboard->Release('A');
  input->Update();
  EXPECT_FALSE(input->PreviousStates().Contains(isLeft));
  hl.keyboard->Press('A');
  input->Update();
  EXPECT_TRUE(input->States().Contains(isLeft));
}

TEST_F(InputTest, StateAddedByCallerStaysUntilSourceReleases) {
  input->States().Include(isButton2);
  input->Update();
  EXPECT_TRUE(input->States().Contains(isButton2));  // no edge: untouched
  hl.keyboard->Press('X');
  input->Update();
  hl.keyboard->Release('X');
  input->Update();
  EXPECT_FALSE(input->States().Contains(isButton2));
}

TEST_F(InputTest, NothingIsReadWhileAnotherWindowIsInFront) {
  int pad = PlugPad();
  hl.joysticks->SetAxes(pad, 32767, 32767);
  hl.joysticks->SetButtons(pad, 1u);
  hl.keyboard->Press('A');
  input->Update();
  ASSERT_FALSE(input->States().Empty());

  hl.video->SetForeground(false);
  input->Update();
  EXPECT_TRUE(input->States().Empty());
  EXPECT_TRUE(input->PreviousStates().Empty());
  EXPECT_EQ(input->Joystick().AxisX(), 0);
  EXPECT_EQ(input->Joystick().AxisY(), 0);
  EXPECT_FALSE(input->Keyboard().KeyDown('A'));
  EXPECT_TRUE(input->Keyboard().DeviceStates().Empty());

  hl.video->SetForeground(true);
  input->Update();
  EXPECT_TRUE(input->States().Contains(isLeft));
  EXPECT_EQ(input->Joystick().AxisX(), 300);
}

TEST_F(InputTest, WithoutActiveOnlyTheBackgroundStillReads) {
  input->SetActiveOnly(false);
  hl.video->SetForeground(false);
  hl.keyboard->Press('D');
  input->Update();
  EXPECT_TRUE(input->States().Contains(isRight));
}

TEST_F(InputTest, DevicesAndGameSettings) {
  EXPECT_EQ(&input->Devices(0), &input->Joystick());
  EXPECT_EQ(&input->Devices(1), &input->Keyboard());
  EXPECT_EQ(&input->Devices(2), &input->Mouse());
  EXPECT_THROW(input->Devices(3), EListError);
  EXPECT_TRUE(input->ActiveOnly());
  EXPECT_TRUE(input->UseDirectInput());
  EXPECT_TRUE(input->DeviceLayer());
  EXPECT_TRUE(input->Keyboard().Initialized());
  EXPECT_EQ(input->Keyboard().ButtonCount(), 32);
  EXPECT_FALSE(input->Keyboard().ForceFeedback());
  EXPECT_TRUE(input->Joystick().ForceFeedback());
  EXPECT_EQ(input->Joystick().ID(), 0);
  EXPECT_TRUE(input->Joystick().AutoCenter());
  EXPECT_EQ(input->Joystick().RangeX(), 300);
  EXPECT_EQ(input->Joystick().RangeY(), 300);
  EXPECT_EQ(input->Joystick().DeadZoneX(), 50);
  EXPECT_EQ(input->Joystick().DeadZoneY(), 50);
  EXPECT_FALSE(input->Mouse().Enabled());
  EXPECT_FALSE(input->Mouse().Initialized());
  EXPECT_FALSE(input->Mouse().BindInputStates());
  EXPECT_EQ(input->OwnerForm(), form);
}

TEST_F(InputTest, PropertyLimits) {
  TJoystick& js = input->Joystick();
  js.SetDeadZoneX(-5);
  js.SetDeadZoneY(150);
  js.SetRangeZ(-1);
  EXPECT_EQ(js.DeadZoneX(), 0);
  EXPECT_EQ(js.DeadZoneY(), 100);
  EXPECT_EQ(js.RangeZ(), 0);
}

class DXInputComponent : public HeadlessTest {};

TEST_F(DXInputComponent, NeedsAForm) {
  TApplicationScope app;
  EXPECT_THROW(
      {
        try {
          TDXInput orphan(nullptr);
        } catch (const EDXInputError& e) {
          EXPECT_STREQ(e.what(), "Form not found");
          throw;
        }
      },
      EDXInputError);
  TComponent holder(nullptr);
  EXPECT_THROW({ TDXInput onPlainComponent(&holder); }, EDXInputError);
  EXPECT_EQ(holder.ComponentCount(), 0);  // the failed component left its owner
  // A component that sits on a form through another component finds that form.
  TForm* form = new TForm(nullptr);
  TComponent* middle = new TComponent(form);
  TDXInput* input = new TDXInput(middle);
  EXPECT_EQ(input->OwnerForm(), form);
}

TEST_F(DXInputComponent, SetsItselfUpOnFirstUpdate) {
  TApplicationScope app;
  TForm* form = new TForm(nullptr);
  TDXInput* input = new TDXInput(form);
  EXPECT_FALSE(input->IsSetUp());
  hl.keyboard->Press(platform::VK_LEFT);
  input->Update();
  EXPECT_TRUE(input->IsSetUp());
  EXPECT_TRUE(input->States().Contains(isLeft));
}

TEST_F(DXInputComponent, ReadsNothingWithoutAPlatform) {
  TApplicationScope app;
  TForm* form = new TForm(nullptr);
  TDXInput* input = new TDXInput(form);
  hl.keyboard->Press(platform::VK_LEFT);
  platform::Uninstall();
  input->Update();  // reads nothing, raises nothing
  EXPECT_TRUE(input->IsSetUp());
  EXPECT_FALSE(input->DeviceLayer());
  EXPECT_TRUE(input->States().Empty());
  hl = platform::headless::Install();  // the forms go away on a platform
}
