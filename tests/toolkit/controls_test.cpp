// Controls and the screen compositor: edit fields, the gauge, overlays over the frozen frame.
#include <vector>

#include "platform/keys.h"
#include "toolkit/random.h"
#include "toolkit/utf8.h"
#include "toolkit_fixture.h"

using platform::VK_BACK;
using platform::VK_DELETE;
using platform::VK_END;
using platform::VK_HOME;
using platform::VK_LEFT;
using platform::VK_RIGHT;

namespace {

class EditTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    main = new TForm(nullptr);
    edit = new TEdit(main);
    edit->SetParent(main);
    edit->AutoSelect = false;
    main->Show();
    ASSERT_TRUE(edit->Focused());
  }
  TForm* main = nullptr;
  TEdit* edit = nullptr;
};

TEST_F(EditTest, TypingInsertsAtTheCaretAndKeysMoveIt) {
  Type("quartz");
  EXPECT_EQ(edit->Text(), "quartz");
  EXPECT_EQ(edit->SelStart(), 6);
  Key(VK_HOME);
  Type("X");
  Key(VK_END);
  Type("Y");
  Key(VK_LEFT);
  Key(VK_LEFT);
  Type("-");
  EXPECT_EQ(edit->Text(), "Xquart-zY");
  Key(VK_RIGHT);
  Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "Xquart-Y");
  Key(VK_HOME);
  Key(VK_DELETE);
  Key(VK_BACK);  // nothing before the caret
  EXPECT_EQ(edit->Text(), "quart-Y");
  Key(VK_END);
  Key(VK_DELETE);  // nothing after the caret
  EXPECT_EQ(edit->Text(), "quart-Y");
}

TEST_F(EditTest, CyrillicIsEditedByCharactersNotBytes) {
  Type("Рекорд");
  EXPECT_EQ(edit->Chars().size(), 6u);
  Key(VK_LEFT);
  Key(VK_BACK);  // removes "р", the whole two-byte letter
  EXPECT_EQ(edit->Text(), "Рекод");
  Type("ё");
  EXPECT_EQ(edit->Text(), "Рекоёд");
  EXPECT_EQ(edit->SelStart(), 5);
}

TEST_F(EditTest, MaxLengthCountsCharacters) {
  edit->SetMaxLength(15);
  Type("ВасяПупкинИванович");  // 18 letters
  EXPECT_EQ(utf8::Decode(edit->Text()).size(), 15u);
  EXPECT_EQ(edit->Text(), "ВасяПупкинИвано");
  // A full field still lets a selected character be replaced.
  Key(VK_HOME);
  Key(VK_RIGHT, false, /*shift=*/true);
  Type("Б");
  EXPECT_EQ(edit->Text(), "БасяПупкинИвано");
  // SetText is cut to MaxLength as well.
  edit->SetText("0123456789abcdefgh");
  EXPECT_EQ(edit->Text(), "0123456789abcde");
}

TEST_F(EditTest, ControlCharactersAreNotText) {
  Type("a");
  platform::Event e{platform::EventKind::Char};
  for (char32_t c : {U'\b', U'\r', U'\x1b', U'\x7f'}) {
    e.ch = c;
    hl.events->Push(e);
  }
  Drain();
  EXPECT_EQ(edit->Text(), "a");
}

TEST_F(EditTest, ChangeEventFiresOnEveryEdit) {
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  Type("ab");
  Key(VK_BACK);
  Key(VK_LEFT);
  EXPECT_EQ(changes, 3);
}

TEST_F(EditTest, KeyDownHandlerCanSwallowEditingKeys) {
  Type("ab");
  edit->OnKeyDown = [](TObject*, int& key, TShiftState) {
    if (key == VK_BACK) key = 0;
  };
  Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "ab");
}

TEST(Utf8Test, MalformedBytesBecomeReplacementCharacters) {
  EXPECT_EQ(utf8::Decode("a\xC3"), (std::u32string{U'a', 0xFFFD}));
  EXPECT_EQ(utf8::Decode("\xC0\xAF"), (std::u32string{0xFFFD, 0xFFFD}));  // overlong
  EXPECT_EQ(utf8::Decode("\xED\xA0\x80").size(), 3u);                     // a surrogate
  EXPECT_EQ(utf8::Encode(utf8::Decode("ЖёZ😀")), "ЖёZ😀");
}

// ---------------------------------------------------------------------------------------------
class GaugeTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    main = new TForm(nullptr);
    loading = new TForm(nullptr);
    loading->SetBorderStyle(bsNone);
    loading->Position = poScreenCenter;
    loading->SetClientWidth(320);
    loading->SetClientHeight(150);
    gauge = new TGauge(loading);
    gauge->SetParent(loading);
    gauge->SetBounds(20, 91, 279, 28);
    gauge->BorderStyle = bsNone;
    gauge->ShowText = false;
    gauge->BackColor = clWhite;
    gauge->ForeColor = 16742331;
    gauge->SetMaxValue(50);
    gauge->SetProgress(5);
  }
  TForm* main = nullptr;
  TForm* loading = nullptr;
  TGauge* gauge = nullptr;
};

TEST_F(GaugeTest, PercentageAndFilledWidthAreTruncated) {
  EXPECT_EQ(gauge->Percent(), 10);
  EXPECT_EQ(gauge->FilledWidth(), 27);  // trunc(279 * 10 / 100)
  gauge->SetProgress(7);
  EXPECT_EQ(gauge->Percent(), 14);
  EXPECT_EQ(gauge->FilledWidth(), 39);
  gauge->SetProgress(80);
  EXPECT_EQ(gauge->Progress(), 50);
  EXPECT_EQ(gauge->FilledWidth(), 279);
  gauge->SetProgress(-3);
  EXPECT_EQ(gauge->Progress(), 0);
  gauge->BorderStyle = bsSingle;
  gauge->SetProgress(25);
  EXPECT_EQ(gauge->FilledWidth(), 138);  // trunc(277 * 50 / 100)
}

TEST_F(GaugeTest, EveryNewPercentageIsPresentedAtOnce) {
  main->Show();
  loading->Show();
  int before = hl.video->FrameCount();
  // The loading sequence: no message loop runs between the steps.
  int steps[] = {7, 8, 9, 10, 15, 20, 25, 30, 35, 45, 50};
  for (int p : steps) gauge->SetProgress(p);
  EXPECT_EQ(hl.video->FrameCount() - before, 11);
  // Same value, or a change that keeps the whole percentage: nothing presented.
  gauge->SetMaxValue(1000);
  int afterRange = hl.video->FrameCount();
  gauge->SetProgress(500);
  gauge->SetProgress(500);
  gauge->SetProgress(509);
  EXPECT_EQ(hl.video->FrameCount() - afterRange, 1);
}

TEST_F(GaugeTest, HiddenGaugePresentsNothing) {
  main->Show();
  int before = hl.video->FrameCount();
  gauge->SetProgress(30);
  EXPECT_EQ(hl.video->FrameCount(), before);
}

TEST_F(GaugeTest, BarPixelsShowTheProgressOverTheCentredWindow) {
  main->Show();
  loading->Show();
  gauge->SetProgress(25);  // 50 %: 139 pixels filled
  int ox = (800 - 320) / 2 + 20, oy = (600 - 150) / 2 + 91;
  uint32_t fore = hl.video->PixelRGB(ox, oy + 5);
  uint32_t back = hl.video->PixelRGB(ox + 139, oy + 5);
  EXPECT_EQ(hl.video->PixelRGB(ox + 138, oy + 27), fore);
  EXPECT_EQ(back, hl.video->PixelRGB(ox + 278, oy));
  EXPECT_NE(fore, back);
  EXPECT_EQ(back, 0xFFFFFFu);
  // 16742331 is red 187, green 120, blue 255: RGB565 keeps the top bits of each channel.
  EXPECT_EQ(fore >> 16, (187u & 0xF8) | (187u >> 5));
  // Outside the window the frame (black) is untouched.
  EXPECT_EQ(hl.video->PixelRGB(ox - 21, oy), 0u);
}

// ---------------------------------------------------------------------------------------------
class ScreenTest : public ToolkitTest {
 protected:
  // An 800 x 600 frame of one colour.
  std::vector<uint16_t> Frame(TColor c) { return std::vector<uint16_t>(800 * 600, ColorTo565(c)); }
  PixelBuffer View(std::vector<uint16_t>& f) {
    return PixelBuffer{reinterpret_cast<uint8_t*>(f.data()), 1600, 800, 600, 16};
  }
};

TEST_F(ScreenTest, FrameWithoutOverlaysIsPresentedOnce) {
  TForm* main = new TForm(nullptr);
  main->Show();
  hl.video->ClearFrames();
  auto f = Frame(clRed);
  Screen->PresentFrame(View(f));
  EXPECT_EQ(hl.video->FrameCount(), 1);
  EXPECT_EQ(hl.video->Pixel565(799, 599), ColorTo565(clRed));
  // Nothing changed: the loop does not present again on its own.
  Application->Step();
  EXPECT_EQ(hl.video->FrameCount(), 1);
}

TEST_F(ScreenTest, WindowsAreDrawnOverTheFrozenFrame) {
  TForm* main = new TForm(nullptr);
  TForm* box = new TForm(nullptr);
  box->SetBorderStyle(bsNone);
  box->SetBounds(100, 50, 40, 30);
  box->SetColor(clYellow);
  main->Show();
  auto f = Frame(clBlue);
  Screen->PresentFrame(View(f));
  f.assign(f.size(), 0);  // the display reuses its buffer: the kept copy must not change
  box->Show();
  hl.video->ClearFrames();
  Application->Step();  // the loop repaints the changed screen
  EXPECT_EQ(hl.video->FrameCount(), 1);
  EXPECT_EQ(hl.video->Pixel565(100, 50), ColorTo565(clYellow));
  EXPECT_EQ(hl.video->Pixel565(139, 79), ColorTo565(clYellow));
  EXPECT_EQ(hl.video->Pixel565(140, 79), ColorTo565(clBlue));
  EXPECT_EQ(hl.video->Pixel565(99, 50), ColorTo565(clBlue));
  box->Hide();
  Application->Step();
  EXPECT_EQ(hl.video->FrameCount(), 2);
  EXPECT_EQ(hl.video->Pixel565(100, 50), ColorTo565(clBlue));
}

TEST_F(ScreenTest, MainFormPanelIsDrawnOnTopOfEveryFrame) {
  TForm* main = new TForm(nullptr);
  TPanel* console = new TPanel(main);
  console->SetParent(main);
  console->SetBounds(16, 8, 609, 41);
  console->SetColor(clRed);
  console->BevelOuter = bvNone;
  console->Hide();
  main->Show();
  auto f = Frame(clBlue);
  Screen->PresentFrame(View(f));
  EXPECT_EQ(hl.video->Pixel565(20, 10), ColorTo565(clBlue));
  console->Show();
  Screen->PresentFrame(View(f));
  EXPECT_EQ(hl.video->Pixel565(20, 10), ColorTo565(clRed));
  EXPECT_EQ(hl.video->Pixel565(625, 10), ColorTo565(clBlue));
  EXPECT_EQ(hl.video->Pixel565(16 + 608, 8 + 40), ColorTo565(clRed));
}

TEST_F(ScreenTest, FrameSuppliedControlsAreNeitherPaintedNorCounted) {
  struct FrameArea : TWinControl {
    using TWinControl::TWinControl;
    bool PaintsOverFrame() const override { return false; }
    void Paint(TCanvas& c) override {
      c.Brush.Color = clYellow;
      c.FillRect(Rect(0, 0, Width(), Height()));
    }
  };
  TForm* main = new TForm(nullptr);
  auto* area = new FrameArea(main);
  area->SetParent(main);
  area->SetBounds(0, 0, 800, 600);
  main->Show();
  EXPECT_FALSE(Screen->OverlayVisible());
  auto f = Frame(clBlue);
  Screen->PresentFrame(View(f));
  EXPECT_EQ(hl.video->Pixel565(5, 5), ColorTo565(clBlue));
  // The mouse still finds it.
  EXPECT_EQ(Screen->ControlAt(5, 5), area);
}

TEST_F(ScreenTest, HiddenPointerFollowsTheControlUnderTheMouse) {
  TForm* main = new TForm(nullptr);
  TPanel* area = new TPanel(main);
  area->SetParent(main);
  area->SetBounds(0, 0, 800, 600);
  main->Show();
  EXPECT_TRUE(hl.video->CursorVisible());
  area->SetCursor(crNone);
  EXPECT_FALSE(hl.video->CursorVisible());
  area->SetCursor(crDefault);
  EXPECT_TRUE(hl.video->CursorVisible());
}

// ---------------------------------------------------------------------------------------------
TEST_F(ToolkitTest, RandomFollowsTheLinearCongruentialRecurrence) {
  SetRandSeed(12345);
  uint32_t s = 12345;
  for (int i = 0; i < 100; ++i) {
    s = s * 134775813u + 1u;
    int r = Random(100);
    EXPECT_EQ(RandSeed(), s);
    EXPECT_EQ(r, static_cast<int>((static_cast<uint64_t>(s) * 100) >> 32));
  }
  // Same seed, same sequence.
  SetRandSeed(7);
  std::vector<int> a, b;
  for (int i = 0; i < 20; ++i) a.push_back(Random(1000));
  SetRandSeed(7);
  for (int i = 0; i < 20; ++i) b.push_back(Random(1000));
  EXPECT_EQ(a, b);
}

TEST_F(ToolkitTest, RandomIsUniformEnoughAndInRange) {
  SetRandSeed(1);
  int counts[10] = {};
  for (int i = 0; i < 100000; ++i) {
    int r = Random(10);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 10);
    ++counts[r];
  }
  for (int c : counts) {
    EXPECT_GT(c, 9500);
    EXPECT_LT(c, 10500);
  }
  double sum = 0;
  for (int i = 0; i < 10000; ++i) {
    double d = Random();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
    sum += d;
  }
  EXPECT_NEAR(sum / 10000, 0.5, 0.02);
  EXPECT_EQ(Random(0), 0);
}

TEST_F(ToolkitTest, RandomizeSeedsFromTheClock) {
  hl.clock->Set(987654);
  Randomize();
  EXPECT_EQ(RandSeed(), 987654u);
}

}  // namespace
