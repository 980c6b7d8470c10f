// Each toolkit test runs on a fresh headless platform with a fresh Application and Screen.
#pragma once

#include "support/headless_env.h"
#include "toolkit/application.h"
#include "toolkit/canvas.h"
#include "toolkit/forms.h"
#include "toolkit/screen.h"

class ToolkitTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    InitApplication();
    Application->Title = "KobalTix v. 1.3";
    textcache::Clear();
  }
  void TearDown() override {
    DoneApplication();
    HeadlessTest::TearDown();
  }
  // Steps the loop until nothing is pending (bounded, so a fault cannot hang the test).
  void Drain() {
    for (int i = 0; i < 1000 && hl.events->Pending() > 0; ++i) Application->Step();
  }
  void Key(int vk, bool alt = false, bool shift = false) {
    hl.events->PushKeyDown(vk, alt, shift);
    Drain();
  }
  void Type(const std::string& utf8) {
    hl.events->PushText(utf8);
    Drain();
  }
};
