// Feeds arbitrary bytes to the bitmap reader through every entry point: carried picture data
// (class name + bitmap), bare bitmap data and BMP files. Any outcome but a clean result or the
// reader's own error is a finding.
#include <cstddef>
#include <cstdint>

#include "display/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TDIB dib;
    dib.LoadFromBMPFile(data, size);
    // Touch every decoded pixel through the public accessors.
    uint32_t sum = 0;
    for (int y = 0; y < dib.Height(); ++y) sum += dib.ScanLine(y)[dib.Width() - 1];
    (void)sum;
  } catch (const EDIBError&) {
  }
  try {
    TDIB dib;
    dib.LoadFromDIBData(data, size);
  } catch (const EDIBError&) {
  }
  try {
    TDXPicture picture;
    picture.LoadFromStream(data, size);
  } catch (const EDIBError&) {
  }
  return 0;
}
