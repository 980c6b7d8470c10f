// The score-entry window: a borderless 232 x 77 window over the frozen game, asking for the name
// of a new record holder. Only a click on " OK " confirms (SaveRecord).
#pragma once

#include "toolkit/controls.h"
#include "toolkit/forms.h"

class TForm2 : public TForm {
 public:
  explicit TForm2(TComponent* owner);
  ~TForm2() override;
  TImage* Image1;           // the 232 x 77 picture; the mouse over it turns OK's background blue
  TLabel* Label1;           // "Ваш результат:"
  TLabel* Label2;           // the score, set on activation from the main window's Label1
  TEdit* Edit1;             // the name, at most 15 characters
  TStaticText* StaticText1; // " OK ": a click runs SaveRecord

  void FormActivate(TObject* Sender);
  // Inserts the score into rec.kbx, closes this window, shows the main window, restarts music.
  void SaveRecord();
};

extern TForm2* Form2;
