// A main window with the game's input component on a fresh headless platform.
#pragma once

#include <memory>

#include "input/dxinput.h"
#include "support/headless_env.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"

class InputTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    app_ = std::make_unique<TApplicationScope>();
    form = new TForm(nullptr);   // the application frees it
    input = new TDXInput(form);  // the form frees it
    ReadGameInputProperties(*input);
    input->Loaded();
  }
  void TearDown() override {
    app_.reset();
    HeadlessTest::TearDown();
  }

  // Presses the physical key `sc`, samples once, and returns the merged states.
  TInputStates PressAndUpdate(int sc) {
    hl.keyboard->PressScancode(sc);
    input->Update();
    return input->States();
  }
  // A joystick with the platform's default axes (-32768 .. 32767) and `buttons` buttons.
  int PlugPad(int buttons = 4, bool periodic = false, bool rumble = false) {
    platform::headless::JoystickSpec desc;
    desc.buttons = buttons;
    desc.periodic = periodic;
    desc.rumble = rumble;
    return hl.joysticks->Plug(desc);
  }

  std::unique_ptr<TApplicationScope> app_;
  TForm* form = nullptr;
  TDXInput* input = nullptr;
};
