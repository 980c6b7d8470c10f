// Helpers shared by the sprite tests: a sprite that records what the engine asks of it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sprites/sprite.h"

namespace sprite_test {

// Everything the recording sprites saw, in order ("move:a", "draw:b", "hit:a>b", "free:c").
struct Log {
  std::vector<std::string> events;
  // The events that start with `prefix`, with the prefix removed.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : events) {
      if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    }
    return out;
  }
  int Count(const std::string& event) const {
    int n = 0;
    for (const auto& e : events) n += e == event ? 1 : 0;
    return n;
  }
};

// A sprite with a name that logs every hook the engine calls; each hook can be given extra work.
class TRecSprite : public TSprite {
 public:
  TRecSprite(TSprite* parent, Log* log, std::string name, double x = 0, double y = 0, int w = 0,
             int h = 0, int z = 0)
      : TSprite(parent), name_(std::move(name)), log_(log) {
    X = x;
    Y = y;
    Width = w;
    Height = h;
    SetZ(z);
  }
  ~TRecSprite() override {
    if (log_) log_->events.push_back("free:" + name_);
  }

  void MoveStep(int32_t moveCount) override {
    log_->events.push_back("move:" + name_);
    lastMoveCount = moveCount;
    if (onMove) onMove(this);
  }
  void DrawSelf() override {
    log_->events.push_back("draw:" + name_);
    if (onDraw) onDraw(this);
  }
  void HandleCollision(TSprite* other, bool& Done) override {
    auto* o = dynamic_cast<TRecSprite*>(other);
    log_->events.push_back("hit:" + name_ + ">" + (o ? o->name_ : std::string("?")));
    if (onHit) onHit(this, other, Done);
  }
  bool CollidesWith(TSprite* other) override {
    auto* o = dynamic_cast<TRecSprite*>(other);
    log_->events.push_back("ask:" + name_ + ">" + (o ? o->name_ : std::string("?")));
    return collides;
  }

  const std::string& name() const { return name_; }

  std::function<void(TRecSprite*)> onMove;
  std::function<void(TRecSprite*)> onDraw;
  std::function<void(TRecSprite*, TSprite*, bool&)> onHit;
  bool collides = true;
  int lastMoveCount = 0;

 private:
  std::string name_;
  Log* log_;
};

// The names of a node's children in draw order.
inline std::vector<std::string> DrawOrderNames(const TSprite& parent) {
  std::vector<std::string> out;
  for (int i = 0; i < parent.ChildCount(); ++i) {
    out.push_back(static_cast<TRecSprite*>(parent.DrawOrderChild(i))->name());
  }
  return out;
}

// The names of a node's children in creation order.
inline std::vector<std::string> ChildNames(const TSprite& parent) {
  std::vector<std::string> out;
  for (int i = 0; i < parent.ChildCount(); ++i) {
    out.push_back(static_cast<TRecSprite*>(parent.Child(i))->name());
  }
  return out;
}

}  // namespace sprite_test
