#include "game/unit2.h"

#include <cstdlib>

#include "game/globals.h"
#include "game/main_form.h"
#include "game/records.h"
#include "game/textfile.h"
#include "game/unit1.h"

TForm2* Form2 = nullptr;

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

namespace {
constexpr TColor kBlue = 16711680;
constexpr TColor kYellow = 65535;
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
    l->Font.Size = 12;  // 16 pixels at 96 dpi
    l->Font.Color = clYellow;
    l->Transparent = true;
    return l;
  };
  Label1 = label("Label1", 16, 32, 115, 23);
  Label1->AutoSize = false;
  Label1->SetCaption("Ваш результат:");
  Label2 = label("Label2", 80, 48, 10, 23);

  Edit1 = new TEdit(this);
  Edit1->Name = "Edit1";
  Edit1->SetParent(this);
  Edit1->SetBounds(24, 16, 161, 19);
  Edit1->SetColor(clYellow);
  Edit1->Ctl3D = false;
  Edit1->SetMaxLength(15);
  Edit1->SetTabStop(true);
  Edit1->SetText("PLAYER");
  SetActiveControl(Edit1);

  StaticText1 = new TStaticText(this);
  StaticText1->Name = "StaticText1";
  StaticText1->SetParent(this);
  StaticText1->SetBounds(184, 48, 34, 24);
  StaticText1->SetCaption(" OK ");
  StaticText1->BorderStyle = sbsSingle;
  StaticText1->SetColor(kYellow);
  StaticText1->Font.Name = "MS Sans Serif";
  StaticText1->Font.Size = 12;
  StaticText1->SetCursor(crHandPoint);
  StaticText1->OnClick = [this](TObject*) { SaveRecord(); };
  StaticText1->OnMouseMove = [this](TObject*, TShiftState, int, int) {
    StaticText1->SetColor(kYellow);
  };
  Image1->OnMouseMove = [this](TObject*, TShiftState, int, int) { StaticText1->SetColor(kBlue); };

  OnActivate = [this](TObject* s) { FormActivate(s); };
}

void TForm2::FormActivate(TObject*) {
  Label2->SetCaption(MainForm ? MainForm->Label1->Caption() : std::string("0"));
  SetActiveControl(Edit1);
}

void TForm2::SaveRecord() {
  game::RecordTable t = game::ReadRecordFile("rec.kbx");
  const int32_t s = static_cast<int32_t>(std::strtol(Label2->Caption().c_str(), nullptr, 10));
  const int p = game::InsertPosition(t, s);
  // A score below every entry read again (the file changed while the game ran) has no place in
  // the table of the five best: the table is written back unchanged.
  if (p >= 1) game::InsertRecord(t, p, game::Utf8ToCp1251(Edit1->Text()), s);
  game::WriteRecordFile("rec.kbx", t);
  Score = -1000;
  Close();
  if (MainForm) {
    MainForm->Show();
    if (!MainForm->m->FileName().empty()) {
      MainForm->m->Open();
      MainForm->m->Play();
      MusicOn = true;
    }
  }
}
