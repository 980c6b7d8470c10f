#include "game/loading_window.h"

#include <string>
#include <vector>

#include "platform/jpeg.h"
#include "toolkit/resources.h"
#include "toolkit/translate.h"

TForm1* Form1 = nullptr;

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

bool LoadJpegResource(const char* name, TPicture& picture) {
  picture.Clear();
  res::Blob blob = res::Find(name);
  if (!blob) return false;
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  std::string error;
  if (!platform::DecodeJpeg(blob.data, blob.size, w, h, rgb, error)) return false;
  picture.AssignRGB(w, h, rgb.data());
  return true;
}

TForm1::TForm1(TComponent* owner) : TForm(owner) {
  Name = "Form1";
  SetCaption(toolkit::Tr("LOADING KOBALTIX"));
  SetBorderStyle(bsNone);
  SetClientWidth(320);
  SetClientHeight(150);
  Position = poScreenCenter;

  Image1 = new TImage(this);
  Image1->Name = "Image1";
  Image1->SetParent(this);
  Image1->SetBounds(0, 0, 320, 150);
  LoadJpegResource("Form1.Image1", Image1->Picture);

  Gauge1 = new TGauge(this);
  Gauge1->Name = "Gauge1";
  Gauge1->SetParent(this);
  Gauge1->SetBounds(20, 91, 279, 28);
  Gauge1->Kind = gkHorizontalBar;
  Gauge1->BorderStyle = bsNone;
  Gauge1->ShowText = false;
  Gauge1->BackColor = clWhite;
  Gauge1->ForeColor = 16742331;
  Gauge1->SetMaxValue(50);
}
