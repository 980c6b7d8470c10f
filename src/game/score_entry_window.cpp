#include "game/score_entry_window.h"

#include <cstdlib>
#include <string>

#include "game/data_paths.h"
#include "game/globals.h"
#include "game/loading_window.h"
#include "game/main_form.h"
#include "game/records.h"
#include "game/textfile.h"
#include "platform/keys.h"
#include "toolkit/translate.h"
#include "toolkit/utf8.h"

TForm2* Form2 = nullptr;

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

namespace {
constexpr TColor kBlue = 16711680;
constexpr TColor kYellow = 65535;
constexpr int kFontPixels = 16;
}  // namespace

TForm2::TForm2(TComponent* owner) : TForm(owner) {
  Name = "Form2";
  SetBorderStyle(bsNone);
  SetClientWidth(232);
  SetClientHeight(77);
  Position = poScreenCenter;

  Image1 = new TImage(this);
  Image1->Name = "Image1";
  Image1->SetParent(this);
  Image1->SetBounds(0, 0, 232, 77);
  LoadJpegResource("Form2.Image1", Image1->Picture);

  auto label = [this](const char* name, int x, int y, int w, int h) {
    auto* l = new TLabel(this);
    l->Name = name;
    l->SetParent(this);
    l->SetBounds(x, y, w, h);
    l->Font.Name = "Comic Sans MS";
    l->Font.Height = kFontPixels;
    l->Font.Color = clYellow;
    l->Transparent = true;
    return l;
  };
  // Both labels take their text's size, so the caption is never cut when the face that stands
  // in for Comic Sans MS runs wider than 115 pixels.
  Label1 = label("Label1", 16, 32, 115, 23);
  Label1->SetCaption(toolkit::Tr("Ваш результат:"));
  Label2 = label("Label2", 80, 48, 10, 23);  // grows with the score's text

  Edit1 = new TEdit(this);
  Edit1->Name = "Edit1";
  Edit1->SetParent(this);
  Edit1->SetBounds(24, 16, 161, 19);
  Edit1->SetColor(clYellow);
  Edit1->Ctl3D = false;
  Edit1->SetMaxLength(15);
  Edit1->SetTabStop(true);
  Edit1->SetText("PLAYER");
  // The name is stored in Windows-1251: a character that code page lacks arrives as '?', as it
  // would in an 8-bit edit field, so the field shows exactly what the file will hold.
  Edit1->OnKeyPress = [](TObject*, char32_t& key) {
    if (key < 32 || key == '?') return;
    if (game::Utf8ToCp1251(utf8::Encode(key)) == "?") key = U'?';
  };
  Edit1->OnKeyDown = [this](TObject*, int& key, TShiftState shift) {
    if (key != platform::VK_RETURN || shift.Contains(ssAlt)) return;
    key = 0;
    SaveRecord();
  };
  SetActiveControl(Edit1);

  StaticText1 = new TStaticText(this);
  StaticText1->Name = "StaticText1";
  StaticText1->SetParent(this);
  StaticText1->SetBounds(184, 48, 34, 24);
  StaticText1->SetCaption(toolkit::Tr(" OK "));
  StaticText1->BorderStyle = sbsSingle;
  StaticText1->SetColor(kYellow);
  StaticText1->Font.Name = "MS Sans Serif";
  StaticText1->Font.Height = kFontPixels;
  StaticText1->SetCursor(crHandPoint);
  StaticText1->SetTabStop(false);  // never focused, so no key can "click" it
  StaticText1->OnClick = [this](TObject*) { SaveRecord(); };
  StaticText1->OnMouseMove = [this](TObject*, TShiftState, int, int) {
    StaticText1->SetColor(kYellow);
  };
  Image1->OnMouseMove = [this](TObject*, TShiftState, int, int) { StaticText1->SetColor(kBlue); };

  OnShow = [this](TObject* s) { FormShow(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
}

void TForm2::FormShow(TObject*) {
  // The focus comes back to the field with every showing; a field that takes the focus selects
  // its text, so typing replaces the name shown (the last one typed, or "PLAYER").
  SetActiveControl(nullptr);
  SetActiveControl(Edit1);
}

void TForm2::FormActivate(TObject*) {
  Label2->SetCaption(MainForm ? MainForm->Label1->Caption() : std::string("0"));
}

void TForm2::SaveRecord() {
  // The table is read again under its lock: it may have changed since the menu read it, and
  // another game may be saving into it right now. A score below every entry read again has no
  // place in the table of the five best: the entry is dropped and the table written back as it is.
  const int32_t s = static_cast<int32_t>(std::strtol(Label2->Caption().c_str(), nullptr, 10));
  // Raises when the table cannot be locked or written: nothing below runs and the window stays
  // open, so the name can be confirmed again.
  game::SaveNewRecord(game::RecordFile(), game::Utf8ToCp1251(Edit1->Text()), s);
  Score = -1000;
  Close();
  if (MainForm) {
    // Activating the main window enables the frame timer and reads the new table.
    MainForm->Show();
    if (!MainForm->m->FileName().empty()) {
      // A fresh open puts the position at the start: the music begins again from the top.
      MainForm->m->Open();
      MainForm->m->Play();
      MusicOn = true;
    }
  }
}
