#include "sprites/dx_sprite_engine.h"

TCustomDXSpriteEngine::TCustomDXSpriteEngine(TComponent* owner)
    : TComponent(owner), engine_(std::make_unique<TSpriteEngine>(nullptr)) {}

TCustomDXSpriteEngine::~TCustomDXSpriteEngine() {
  // The display must not call back into a component that is going away.
  SetDXDraw(nullptr);
  engine_.reset();
}

void TCustomDXSpriteEngine::SetDXDraw(TCustomDXDraw* display) {
  if (dxdraw_) dxdraw_->UnregisterListener(&TCustomDXSpriteEngine::DXDrawNotify, this);
  dxdraw_ = display;
  if (dxdraw_) dxdraw_->RegisterListener(&TCustomDXSpriteEngine::DXDrawNotify, this);
}

void TCustomDXSpriteEngine::DXDrawNotify(void* target, TCustomDXDraw* sender,
                                         TDXDrawNotifyType type) {
  auto* self = static_cast<TCustomDXSpriteEngine*>(target);
  switch (type) {
    case TDXDrawNotifyType::Initialized:
      self->engine_->AttachSurface(sender->Back());
      break;
    case TDXDrawNotifyType::Finalizing:
      self->engine_->AttachSurface(nullptr);
      break;
    case TDXDrawNotifyType::Destroying:
      // The display is in its destructor: forget it (and its surface) without calling back.
      self->engine_->AttachSurface(nullptr);
      self->dxdraw_ = nullptr;
      break;
    default:
      break;
  }
}

void TCustomDXSpriteEngine::MoveAll(int32_t moveCount) { engine_->Move(moveCount); }

void TCustomDXSpriteEngine::PurgeDead() { engine_->PurgeDead(); }

void TCustomDXSpriteEngine::DrawAll() {
  if (dxdraw_ && dxdraw_->Initialized()) engine_->DrawAll();
}
