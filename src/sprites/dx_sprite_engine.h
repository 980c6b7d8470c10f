// The sprite engine as a component of the main window: owns the TSpriteEngine root, follows a
// display (attaching its Back surface while the display is initialised) and runs the three
// passes the frame loop calls each frame: MoveAll, PurgeDead, DrawAll.
#pragma once

#include <cstdint>
#include <memory>

#include "display/dxdraw.h"
#include "sprites/image_sprite.h"
#include "sprites/sprite.h"
#include "toolkit/classes.h"

class TCustomDXSpriteEngine : public TComponent {
 public:
  // Creates the engine root (without a parent) and no display.
  explicit TCustomDXSpriteEngine(TComponent* owner);
  // Leaves the display, then frees the engine root and with it every sprite.
  ~TCustomDXSpriteEngine() override;

  // The display followed (nullptr when none).
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  // Unregisters from the old display, stores the new one and registers with it (each step only
  // when there is a display). While the display is initialised its Back surface is attached.
  void SetDXDraw(TCustomDXDraw* display);
  // The root of the sprite tree (owned; lives as long as the component).
  TSpriteEngine* Engine() const { return engine_.get(); }

  // The move pass: Move(moveCount) on the root.
  void MoveAll(int32_t moveCount);
  // Frees the sprites killed since the last purge.
  void PurgeDead();
  // The draw pass, only when DXDraw is set and initialised; otherwise nothing is drawn.
  void DrawAll();

 private:
  // Initialized: attach Back; Finalizing: detach; Destroying: forget the display.
  static void DXDrawNotify(void* target, TCustomDXDraw* sender, TDXDrawNotifyType type);

  TCustomDXDraw* dxdraw_ = nullptr;
  std::unique_ptr<TSpriteEngine> engine_;
};

// The published sprite engine component.
class TDXSpriteEngine : public TCustomDXSpriteEngine {
 public:
  explicit TDXSpriteEngine(TComponent* owner) : TCustomDXSpriteEngine(owner) {}
};
