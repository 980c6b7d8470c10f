// The score-entry window: a borderless 232 x 77 window over the frozen game, asking for the name
// of a new record holder. A click on " OK " confirms (SaveRecord), and so does Enter (or a
// gamepad's A) in the name field, so a player without a mouse can finish a game.
#pragma once

#include "toolkit/controls.h"
#include "toolkit/forms.h"

class TForm2 : public TForm {
 public:
  // Builds the window from its resource settings (hidden; the game shows it modally).
  explicit TForm2(TComponent* owner);
  // Clears the global Form2 when it points here.
  ~TForm2() override;
  TImage* Image1;            // the 232 x 77 picture; the mouse over it turns OK's background blue
  TLabel* Label1;            // "Ваш результат:"
  TLabel* Label2;            // the score, set on activation from the main window's Label1
  TEdit* Edit1;              // the name, at most 15 characters; keeps the last name typed;
                             // Enter in it runs SaveRecord
  TStaticText* StaticText1;  // " OK ": a click runs SaveRecord; the mouse over it turns it yellow

  // Activation: Label2 shows the main window's Label1 (the score as decimal text).
  void FormActivate(TObject* Sender);
  // Showing: the name field takes the keyboard focus anew (selecting its text).
  void FormShow(TObject* Sender);
  // Inserts the score into rec.kbx, closes this window, shows the main window, restarts music.
  // A file that cannot be written raises EFCreateError; the window then stays open.
  void SaveRecord();
};

extern TForm2* Form2;
