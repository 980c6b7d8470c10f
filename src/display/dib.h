// Device-independent bitmaps: the reader of the pictures carried in the program ("TDIB" data, a
// bitmap without file header) and of standard BMP files, and the picture object that holds one
// graphic for an image item.
//
// The reader takes untrusted bytes: whatever the headers claim, it never reads or writes outside
// the buffers, refuses pictures above kMaxPixels pixels and fails with its own errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/dxdraw.h"  // TRGBQuad: colour-table entries (blue, green, red, reserved)
#include "toolkit/errors.h"
#include "toolkit/graphics.h"
#include "toolkit/resources.h"

// Every error of the bitmap reader derives from this.
KX_DECLARE_ERROR(EDIBError, Exception);
// "DIB is invalid": bad or truncated headers, sizes, offsets, palettes or run-length data.
KX_DECLARE_ERROR(EInvalidDIB, EDIBError);
// "Bitcount in invalid (%d)": a bit count other than 1, 4, 8, 16, 24, 32.
KX_DECLARE_ERROR(EDIBBitCountError, EDIBError);
// "PixelFormat in invalid": channel masks the reader cannot use (16 bits: only 5-5-5 / 5-6-5).
KX_DECLARE_ERROR(EDIBPixelFormatError, EDIBError);

class TDIB {
 public:
  // Largest picture accepted, in pixels (width x height).
  static constexpr int64_t kMaxPixels = int64_t{64} * 1024 * 1024;

  // Reads a bitmap without file header (header, masks, colour table, pixels). Replaces the
  // content only on success; raises EInvalidDIB / EDIBBitCountError / EDIBPixelFormatError.
  void LoadFromDIBData(const uint8_t* data, size_t size);
  // Reads a BMP file image (14-byte header beginning with "BM", then the bitmap); pixels start
  // at the header's offset. Short or non-"BM" data raises EInvalidDIB.
  void LoadFromBMPFile(const uint8_t* data, size_t size);
  // Reads the BMP file at `path` (backslashes taken as '/'); an unopenable file raises
  // EFOpenError "Cannot open file "%s". %s" with the full name and the system's reason.
  void LoadFromFile(const std::string& path);
  // Forgets the picture (empty, 0 x 0).
  void Clear();

  // True when no picture is held.
  bool Empty() const { return width_ == 0 || height_ == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bits per pixel of the data read (1, 4, 8, 16, 24, 32); 0 when empty.
  int BitCount() const { return bitCount_; }
  // Compression of the data read: 0 none, 1 RLE8, 2 RLE4, 3 bit fields.
  int Compression() const { return compression_; }
  // The picture's own colour table (its colour count of entries; may be empty).
  const std::vector<TRGBQuad>& ColorTable() const { return colorTable_; }
  // Colour of pixel (x, y), y from the top, as a toolkit colour; clBlack outside the picture.
  TColor Pixels(int x, int y) const;
  // Row `y` (from the top) of decoded pixels, 0x00RRGGBB each; nullptr outside the picture.
  const uint32_t* ScanLine(int y) const;
  // Copies the rectangle `src` of the picture to (dx, dy) of `dst`, converting every pixel to
  // the buffer's format (16: RGB565 by ColorTo565; 24: BGR; 32: XRGB8888). Clipped on both sides.
  void CopyRect(const TRect& src, PixelBuffer& dst, int dx, int dy) const;

 private:
  int width_ = 0;
  int height_ = 0;
  int bitCount_ = 0;
  int compression_ = 0;
  std::vector<TRGBQuad> colorTable_;
  std::vector<uint32_t> pixels_;  // top-down, 0x00RRGGBB
  friend struct DIBParser;
};

// Converts a path as the game writes it (backslashes) into one this system opens.
std::string MapGamePath(const std::string& path);
// Reads a picture file up to the size its file header states (the whole file when the header
// states none; "DIB is invalid" past the reader's cap); raises EFOpenError (full name + reason)
// when it cannot be opened, is not a regular file or cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The picture of an image item: holds one graphic or none. Graphics are kept as decoded bitmaps;
// the class name records how they came ("TDIB" from carried data or .dib files, "TBitmap" from
// .bmp files through the toolkit's reader), which matters to MakeColorTable.
class TDXPicture {
 public:
  // True when a graphic is held.
  bool HasGraphic() const { return graphic_ != nullptr; }
  // The graphic, or nullptr.
  const TDIB* Graphic() const { return graphic_.get(); }
  // "TDIB", "TBitmap", or "" without a graphic.
  const std::string& GraphicClassName() const { return className_; }
  // Width and height of the graphic; 0 without one.
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  // Replaces the graphic from picture data: one length byte, the class name ("TDIB": a bitmap
  // without file header follows; "TBitmap": a 32-bit size then a BMP file follows). Empty data
  // clears the picture. On error the old graphic is kept.
  void LoadFromStream(const uint8_t* data, size_t size);
  // Same as LoadFromStream on a carried resource (an empty blob clears the picture).
  void LoadFromResource(res::Blob blob) { LoadFromStream(blob.data, blob.size); }
  // Replaces the graphic by a picture file: ".dib" files become a "TDIB", any other a "TBitmap".
  void LoadFromFile(const std::string& path);
  // Sets the graphic directly (nullptr clears).
  void SetGraphic(std::unique_ptr<TDIB> dib, const std::string& className = "TDIB");
  // Drops the graphic.
  void Clear();
  // Counts every change of graphic (lets holders notice a replaced picture).
  uint32_t Generation() const { return generation_; }

 private:
  std::unique_ptr<TDIB> graphic_;
  std::string className_;
  uint32_t generation_ = 0;
};

// Replaces the picture's graphic with the content of the picture file `path` (see TDXPicture).
void LoadPictureFile(TDXPicture& picture, const std::string& path);
