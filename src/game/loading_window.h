// The loading window: a borderless 320 x 150 window in the middle of the screen with its picture
// and a progress bar that repaints at once whenever its whole percentage changes.
#pragma once

#include "toolkit/controls.h"
#include "toolkit/forms.h"

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* owner);
  ~TForm1() override;
  TImage* Image1;  // the 320 x 150 picture carried in the program
  TGauge* Gauge1;  // progress 0..50
};

extern TForm1* Form1;

// Decodes the JPEG resource `name` into `picture`; false (picture cleared) when it is missing or
// damaged.
bool LoadJpegResource(const char* name, TPicture& picture);
