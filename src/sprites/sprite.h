// The sprite tree: every moving or drawn object of the game is a TSprite under one TSpriteEngine
// root. The frame loop drives the tree with three passes each frame: Move (every sprite's
// MoveStep), PurgeDead (free what was killed) and DrawAll (DrawSelf in Z order). Collision tests
// are asked for by a sprite from inside its own MoveStep through CheckCollisions.
//
// Ownership: a sprite is owned by its parent from the moment it is constructed with one; the root
// (constructed without a parent) is owned by whoever made it (TCustomDXSpriteEngine keeps it in a
// unique_ptr). Sprites are only ever freed by PurgeDead and by the destruction of their parent or
// of the engine; game code creates them with `new TSomeSprite(parent)` and ends them with Kill.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/graphics.h"

class TDirectDrawSurface;
class TSprite;
class TSpriteEngine;
class SpriteGrid;

// Error class of the sprite engine.
KX_DECLARE_ERROR(ESpriteError, Exception);

// Message of an index outside a children list (filled with the index).
inline constexpr const char* SListIndexError = "Index of the list exceeds the range. (%d)";

// True when a and b share interior: edges that only touch do not overlap (right/bottom exclusive).
inline bool RectsOverlap(const TRect& a, const TRect& b) {
  return a.Left < b.Right && a.Right > b.Left && a.Top < b.Bottom && a.Bottom > b.Top;
}

// Trunc of a position: cuts toward zero; values beyond the int32 range are held at its ends and
// NaN gives 0, so a sprite flung far away cannot make the conversion undefined.
inline int32_t SpriteTrunc(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// a + b on int32 coordinates, wrapping around at the ends of the range instead of overflowing.
inline int32_t SpriteAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<int64_t>(a) + b);
}

// A position or size field of a sprite. It reads like the plain value; a write that changes it
// tells the sprite, so the engine's collision grid follows sprites that move or resize.
template <class T>
class SpriteField {
 public:
  // The field of `owner`, holding `value` (a constructor never counts as a change).
  SpriteField(TSprite* owner, T value) : owner_(owner), value_(value) {}
  // A copy is a plain value: it belongs to no sprite and tells nobody of its writes.
  SpriteField(const SpriteField& other) : owner_(nullptr), value_(other.value_) {}
  // Takes the other field's value (and tells this field's sprite).
  SpriteField& operator=(const SpriteField& other) { return *this = other.value_; }
  // Stores `value`; when it differs from the old one, the sprite hears of the change.
  SpriteField& operator=(T value);
  SpriteField& operator+=(T d) { return *this = static_cast<T>(value_ + d); }
  SpriteField& operator-=(T d) { return *this = static_cast<T>(value_ - d); }
  // The value.
  operator T() const { return value_; }

 private:
  TSprite* owner_;
  T value_;
};

// A sprite class reference: makes a sprite of one class under `parent` (which then owns it).
using TSpriteClass = TSprite* (*)(TSprite* parent);
// The class reference of sprite class T (T must be constructible from a TSprite* parent).
template <class T>
inline constexpr TSpriteClass SpriteClassOf =
    [](TSprite* parent) -> TSprite* { return new T(parent); };

class TSprite {
 public:
  // Create: all fields zero/false, appended to parent's children and inserted into its draw order
  // (with Z 0), Engine taken from the parent, SpriteCount + 1; CanCollide/CanMove/Visible true.
  explicit TSprite(TSprite* parent);
  // Frees the subtree (last child first), then leaves the parent, the engine's count and KillList.
  virtual ~TSprite();
  TSprite(const TSprite&) = delete;
  TSprite& operator=(const TSprite&) = delete;

  // ---- virtual hooks, in slot order ----
  // Slot 0: called by this sprite's CheckCollisions for each overlapping sprite; may set Done to
  // stop the check from descending into other's children. Default: nothing.
  virtual void HandleCollision(TSprite* other, bool& Done);
  // Slot 1: draws the sprite on Engine()->Surface(). Default: nothing.
  virtual void DrawSelf();
  // Slot 2: one step of the move pass. Default: nothing.
  virtual void MoveStep(int32_t moveCount);
  // Slot 3: the bounding rectangle: (Trunc(AbsX), Trunc(AbsY)) sized Width x Height.
  virtual TRect GetBounds();
  // Slot 4: the fine collision test after the rectangles overlapped. Default: true.
  virtual bool CollidesWith(TSprite* other);
  // True while GetBounds depends only on X, Y, Width, Height and the parents' positions (so the
  // collision grid may file the sprite by its bounds and refile it when one of them is written).
  // A class whose GetBounds reads anything else must answer false. Default: true.
  virtual bool BoundsFollowFields() const;
  // Slot 5, Create, is the constructor; see TSpriteClass / SpriteClassOf for class references.

  // ---- tree ----
  // The root of the tree this sprite belongs to (nullptr for the root itself).
  TSpriteEngine* Engine() const { return engine_; }
  // The parent node (nullptr for the root).
  TSprite* Parent() const { return parent_; }
  // The engine whose passes this sprite takes part in: Engine(), or the root engine itself
  // (nullptr for a stand-alone sprite outside any engine).
  TSpriteEngine* Tree() const { return tree_; }
  // True once Kill has run; never cleared.
  bool IsDead() const { return isDead_; }
  // Number of children (0 when there are none).
  int32_t ChildCount() const { return static_cast<int32_t>(children_.size()); }
  // The i-th child in creation order. No children: ESpriteError; i out of range: EListError.
  TSprite* Child(int32_t i) const;
  // The i-th child in drawing order (ascending Z); same errors as Child.
  TSprite* DrawOrderChild(int32_t i) const;
  // Frees all children, the last one first. During a pass it kills them instead (the walk in
  // progress may still be visiting them); the next PurgeDead outside a pass frees them.
  void FreeChildren();
  // Marks the sprite dead and appends it to Engine's KillList; nothing for the root or the second
  // time. The sprite stays in the tree (moved, drawn, hit by others) until the next PurgeDead.
  void Kill();

  // ---- position and state ----
  // The drawing depth; a larger Z is drawn later (on top).
  int32_t Z() const { return z_; }
  // Sets Z; when it changes, the sprite moves in its parent's draw order before its new equals.
  void SetZ(int32_t value);
  // Absolute position: the parent's AbsX plus X (X itself for a sprite without parent).
  double AbsX() const;
  // Absolute position: the parent's AbsY plus Y (Y itself for a sprite without parent).
  double AbsY() const;

  // ---- passes ----
  // Move pass: unless CanMove is false (subtree skipped), MoveStep, then the children that
  // existed when the step returned, in creation order.
  void Move(int32_t moveCount);
  // Draw pass: unless Visible is false (subtree skipped), DrawSelf when the bounds overlap the
  // engine's ViewRect (counting DrawnCount), then the children in ascending Z.
  void Draw();
  // Tests this sprite against the whole tree and calls HandleCollision per overlapping sprite;
  // returns the number of hits. 0 and nothing called for the root, a dead sprite or CanCollide
  // false. On a large tree the root's children come from the collision grid: only those filed
  // near the checker are visited, still in creation order, with the same tests and calls.
  int32_t CheckCollisions();

  // Called by the sprite's fields (SpriteField) when a write changed one of them.
  void FieldChanged();

 private:
  friend class TSpriteEngine;
  friend class SpriteGrid;
  void AddChild(TSprite* child);
  void RemoveChild(TSprite* child);
  void InsertDrawOrder(TSprite* child);
  void Detach();
  void FreeAllChildren();
  void MoveTree(int32_t moveCount);
  void DrawTree();
  // Frees one sprite of a tree: the only place where sprites are deleted.
  static void Free(TSprite* sprite);

  // Fields, in declaration order.
  TSpriteEngine* engine_ = nullptr;
  TSprite* parent_ = nullptr;
  std::vector<TSprite*> children_;  // owned; creation order
  bool isDead_ = false;
  std::vector<TSprite*> drawOrder_;  // the same children, ascending Z

 public:
  // The sprite (and its subtree) takes part in collision checks.
  bool CanCollide = false;
  // The sprite (and its subtree) is moved by the move pass.
  bool CanMove = false;
  // The sprite (and its subtree) is drawn.
  bool Visible = false;
  // Position relative to the parent, in surface pixels.
  SpriteField<double> X{this, 0.0};
  SpriteField<double> Y{this, 0.0};

 private:
  int32_t z_ = 0;

 public:
  // Size of the bounding rectangle (set by whoever creates the sprite).
  SpriteField<int32_t> Width{this, 0};
  SpriteField<int32_t> Height{this, 0};

 private:
  TSpriteEngine* tree_ = nullptr;  // not one of the tree's fields: see Tree()
  // Bookkeeping of the engine's collision grid (not fields of the tree either).
  uint64_t serial_ = 0;    // creation order within the engine: later sprites have larger ones
  uint64_t seenMark_ = 0;  // the grid query that last collected this sprite
  int32_t dirtyAt_ = -1;   // place in the grid's list of sprites to refile, -1 when not listed
  int8_t gridPlace_ = 0;   // 0 not filed, 1 filed in cells, 2 on the list visited every time
  int32_t cellLeft_ = 0, cellTop_ = 0, cellRight_ = 0, cellBottom_ = 0;  // cells filed in
};

template <class T>
inline SpriteField<T>& SpriteField<T>::operator=(T value) {
  const bool changed = !(value_ == value);
  value_ = value;
  if (changed && owner_ != nullptr) owner_->FieldChanged();
  return *this;
}

// The root of a sprite tree: counts its sprites, runs collision checks, keeps the kill list and
// the surface the tree draws on.
class TSpriteEngine : public TSprite {
 public:
  // A root (parent normally nullptr) with an empty KillList and no surface.
  explicit TSpriteEngine(TSprite* parent = nullptr);
  // Frees the whole tree first, then the KillList.
  ~TSpriteEngine() override;

  // Number of sprites below the root (everything but the root).
  int32_t SpriteCount() const { return spriteCount_; }
  // Hits found by the running (or last) CheckCollisions.
  int32_t HitCount() const { return hitCount_; }
  // The Done flag of the running (or last) CheckCollisions.
  bool Done() const { return done_; }
  // The checker's bounds, read once at the start of the running check.
  TRect CheckerRect() const { return checkerRect_; }
  // The sprite whose CheckCollisions is running (or ran last).
  TSprite* Checker() const { return checker_; }
  // Killed sprites not yet freed, in order of killing.
  const std::vector<TSprite*>& KillList() const { return killList_; }
  // Number of sprites whose DrawSelf ran in the last DrawAll.
  int32_t DrawnCount() const { return drawnCount_; }
  // The surface sprites draw on (nullptr when none is attached).
  TDirectDrawSurface* Surface() const { return surface_; }
  // The client rectangle of the last attached surface.
  TRect ViewRect() const { return viewRect_; }

  // Frees every sprite in KillList, the last killed first. Called from inside a pass (a hook) it
  // does nothing, so the walk in progress never meets a freed sprite.
  void PurgeDead();
  // DrawnCount := 0, then the draw pass from the root.
  void DrawAll();
  // Surface := surface; with a surface, ViewRect := its client rectangle and the root's
  // Width/Height := its size. With nullptr, ViewRect keeps its last value.
  void AttachSurface(TDirectDrawSurface* surface);

  // True while a move, draw or collision pass is running on this tree.
  bool InPass() const { return passDepth_ > 0; }
  // From how many children of the root on collision checks use the grid (fewer: every child is
  // visited). Either way the same sprites are hit in the same order.
  int32_t GridMinSprites = 48;
  // Checks the tree's invariants (parent and engine links, Z order sorted and matching the
  // children, SpriteCount, KillList = the dead sprites, each once, and every child the collision
  // grid filed still filed where its bounds are, which a class whose BoundsFollowFields wrongly
  // says true breaks). "" when all hold, else the first broken one.
  std::string Validate() const;
  // Entries on the collision grid's list of sprites to refile (0 without a grid); the list never
  // outgrows the children while checks use the grid, and stays empty while the tree is walked.
  size_t GridBacklog() const;

 private:
  friend class TSprite;
  friend class SpritePassGuard;
  void Visit(TSprite* candidate);
  int32_t CheckWithGrid(int32_t n);
  // The grid hears that `s` (a child of the root) may have new bounds, or that every child may.
  void ChildMoved(TSprite* s);
  void AllChildrenMoved();
  std::string ValidateNode(const TSprite* node, int32_t& count) const;

  // Fields, in declaration order.
  int32_t spriteCount_ = 0;
  int32_t hitCount_ = 0;
  bool done_ = false;
  TRect checkerRect_;
  TSprite* checker_ = nullptr;
  std::vector<TSprite*> killList_;
  int32_t drawnCount_ = 0;
  TDirectDrawSurface* surface_ = nullptr;
  TRect viewRect_;

  int passDepth_ = 0;
  uint64_t nextSerial_ = 0;
  TRect gridView_;
  std::unique_ptr<SpriteGrid> grid_;  // made by the first check on a large tree
};
