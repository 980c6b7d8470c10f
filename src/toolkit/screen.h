// The screen compositor. The program has one platform window showing 800 x 600 frames: the
// display hands each finished frame to PresentFrame; visible windows other than the main form
// (and the main form's own visible controls, such as the cheat console) are drawn on top of it
// and the result is presented. While no frame arrives the toolkit recomposes over the last frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/graphics.h"

class TControl;
class TForm;

class TScreen {
 public:
  TScreen();

  // The base layer from the display: kept as the last frame, overlays drawn on top, presented.
  // With nothing to draw over it, the frame itself is presented. With `keep` (a handle under
  // which the pixels stay unchanged, such as a flipped surface's) the frame is kept by holding
  // the handle rather than by a copy.
  void PresentFrame(const PixelBuffer& frame, std::shared_ptr<const void> keep = nullptr);
  // Recomposes the overlays over the last frame (black before the first) and presents.
  void Repaint();
  // Size of the screen: the last frame's (800 x 600 before the first frame).
  int Width() const { return width_; }
  int Height() const { return height_; }
  // True when some window or control is to be drawn over the frame.
  bool OverlayVisible() const;
  // Marks the composition out of date (the loop repaints when no frame clears it first).
  void Invalidate() { dirty_ = true; }
  bool Dirty() const { return dirty_; }
  // The topmost showing, enabled-or-not control at frame point (x, y), or null.
  TControl* ControlAt(int x, int y) const;
  // Opens and shows the platform window if it is not open yet.
  void EnsureWindow();
  // The kept last frame (a black 16-bit frame before the first).
  PixelBuffer LastFrame() const;
  // Number of Present calls made by the compositor.
  long long Presents() const { return presents_; }

 private:
  void ComposeAndPresent();
  void KeepFrame(const PixelBuffer& frame, std::shared_ptr<const void> keep);
  void PaintTree(class TCanvas& canvas, TControl* c, int x, int y, const TRect& clip);

  int width_ = 800, height_ = 600;
  int bitCount_ = 16;
  int pitch_ = 1600;
  std::vector<uint8_t> last_;         // the frozen base frame, when it is a copy of our own
  std::shared_ptr<const void> lent_;  // the handle that keeps a lent base frame unchanged
  const uint8_t* base_ = nullptr;     // the base frame: last_'s bytes or the lent frame's
  std::vector<uint8_t> compose_;      // base + overlays
  bool dirty_ = false;
  long long presents_ = 0;
};

extern TScreen* Screen;
