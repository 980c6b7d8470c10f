#include "sprites/sprite.h"

#include <algorithm>
#include <unordered_set>

#include "display/surface.h"

// Counts the passes running on a tree, so that freeing can be held back until no walk is in
// progress (a walk only ever meets sprites that were alive when it started).
class SpritePassGuard {
 public:
  explicit SpritePassGuard(TSpriteEngine* tree) : tree_(tree) {
    if (tree_) ++tree_->passDepth_;
  }
  ~SpritePassGuard() {
    if (tree_) --tree_->passDepth_;
  }
  SpritePassGuard(const SpritePassGuard&) = delete;
  SpritePassGuard& operator=(const SpritePassGuard&) = delete;

 private:
  TSpriteEngine* tree_;
};

// ---------------------------------------------------------------------------------------------
// TSprite

TSprite::TSprite(TSprite* parent) : parent_(parent) {
  if (parent_) {
    parent_->AddChild(this);
    engine_ = dynamic_cast<TSpriteEngine*>(parent_);
    if (!engine_) engine_ = parent_->engine_;
    if (engine_) ++engine_->spriteCount_;
    tree_ = engine_;
  }
  CanCollide = true;
  CanMove = true;
  Visible = true;
}

TSprite::~TSprite() {
  FreeAllChildren();
  // Normally the sprite is still attached here; it is also how a sprite whose constructor threw
  // after the base part had joined the parent leaves the tree again.
  Detach();
}

void TSprite::Free(TSprite* sprite) { delete sprite; }

void TSprite::HandleCollision(TSprite*, bool&) {}
void TSprite::DrawSelf() {}
void TSprite::MoveStep(int32_t) {}

TRect TSprite::GetBounds() {
  const int32_t left = SpriteTrunc(AbsX());
  const int32_t top = SpriteTrunc(AbsY());
  return TRect{left, top, SpriteAdd(left, Width), SpriteAdd(top, Height)};
}

bool TSprite::CollidesWith(TSprite*) { return true; }

TSprite* TSprite::Child(int32_t i) const {
  if (children_.empty()) throw ESpriteError(Format(SListIndexError, i));
  if (i < 0 || i >= ChildCount()) throw EListError(Format(SListIndexError, i));
  return children_[static_cast<size_t>(i)];
}

TSprite* TSprite::DrawOrderChild(int32_t i) const {
  if (drawOrder_.empty()) throw ESpriteError(Format(SListIndexError, i));
  if (i < 0 || i >= static_cast<int32_t>(drawOrder_.size())) {
    throw EListError(Format(SListIndexError, i));
  }
  return drawOrder_[static_cast<size_t>(i)];
}

void TSprite::AddChild(TSprite* child) {
  children_.push_back(child);
  try {
    InsertDrawOrder(child);
  } catch (...) {
    children_.pop_back();
    throw;
  }
}

void TSprite::InsertDrawOrder(TSprite* child) {
  // Binary insertion that lands before every sibling of equal or greater Z, so among equals the
  // newest goes underneath. The comparison is done directly rather than on the difference of the
  // two depths, which could overflow at the ends of the int32 range.
  int32_t low = 0;
  int32_t high = static_cast<int32_t>(drawOrder_.size()) - 1;
  while (high >= low) {
    const int32_t mid = (low + high) / 2;
    if (drawOrder_[static_cast<size_t>(mid)]->z_ >= child->z_) {
      high = mid - 1;
    } else {
      low = mid + 1;
    }
  }
  drawOrder_.insert(drawOrder_.begin() + low, child);
}

namespace {

// Removes `item` from `list`, searching from the end: freeing runs in reverse order of killing
// and creation, so the sprite to remove is usually near the back.
void EraseFromBack(std::vector<TSprite*>& list, TSprite* item) {
  auto it = std::find(list.rbegin(), list.rend(), item);
  if (it != list.rend()) list.erase(std::next(it).base());
}

}  // namespace

void TSprite::RemoveChild(TSprite* child) {
  EraseFromBack(children_, child);
  // The draw order is sorted by Z: start at the first sibling of the child's depth.
  auto first = std::lower_bound(drawOrder_.begin(), drawOrder_.end(), child->z_,
                                [](const TSprite* s, int32_t z) { return s->z_ < z; });
  auto it = std::find(first, drawOrder_.end(), child);
  if (it == drawOrder_.end()) it = std::find(drawOrder_.begin(), drawOrder_.end(), child);
  if (it != drawOrder_.end()) drawOrder_.erase(it);
  if (children_.empty()) {
    // Both lists go away with the last child.
    std::vector<TSprite*>().swap(children_);
    std::vector<TSprite*>().swap(drawOrder_);
  }
}

void TSprite::Detach() {
  if (!parent_) return;
  if (engine_) --engine_->spriteCount_;
  parent_->RemoveChild(this);
  if (engine_ && isDead_) EraseFromBack(engine_->killList_, this);
  parent_ = nullptr;
}

void TSprite::FreeAllChildren() {
  // Each child's destruction removes it from children_.
  while (!children_.empty()) Free(children_.back());
}

void TSprite::FreeChildren() {
  if (tree_ && tree_->InPass()) {
    // A walk may be standing on one of these children right now: let PurgeDead free them.
    const int32_t n = ChildCount();
    for (int32_t i = 0; i < n; ++i) children_[static_cast<size_t>(i)]->Kill();
    return;
  }
  FreeAllChildren();
}

void TSprite::Kill() {
  if (!engine_ || isDead_) return;
  engine_->killList_.push_back(this);
  isDead_ = true;
}

void TSprite::SetZ(int32_t value) {
  if (value == z_) return;
  if (!parent_) {
    z_ = value;
    return;
  }
  // Take the sprite out at its old depth, then insert it at the new one.
  std::vector<TSprite*>& order = parent_->drawOrder_;
  auto first = std::lower_bound(order.begin(), order.end(), z_,
                                [](const TSprite* s, int32_t z) { return s->z_ < z; });
  auto it = std::find(first, order.end(), this);
  if (it == order.end()) it = std::find(order.begin(), order.end(), this);
  if (it != order.end()) order.erase(it);
  z_ = value;
  parent_->InsertDrawOrder(this);  // no reallocation: one element was just removed
}

double TSprite::AbsX() const { return parent_ ? parent_->AbsX() + X : X; }
double TSprite::AbsY() const { return parent_ ? parent_->AbsY() + Y : Y; }

void TSprite::Move(int32_t moveCount) {
  SpritePassGuard guard(tree_);
  MoveTree(moveCount);
}

void TSprite::MoveTree(int32_t moveCount) {
  if (!CanMove) return;
  MoveStep(moveCount);
  // Nothing is freed during a pass, so children only ever grow at the end: sprites appended
  // after this count wait for the next pass.
  const int32_t n = ChildCount();
  for (int32_t i = 0; i < n; ++i) children_[static_cast<size_t>(i)]->MoveTree(moveCount);
}

void TSprite::Draw() {
  SpritePassGuard guard(tree_);
  DrawTree();
}

void TSprite::DrawTree() {
  if (!Visible) return;
  if (engine_ && RectsOverlap(engine_->viewRect_, GetBounds())) {
    DrawSelf();
    ++engine_->drawnCount_;
  }
  // A DrawSelf may change a sibling's Z or create sprites, which reorders this list: the walk
  // keeps to the count it started with and never reads past the list's end.
  const size_t n = drawOrder_.size();
  for (size_t i = 0; i < n && i < drawOrder_.size(); ++i) drawOrder_[i]->DrawTree();
}

int32_t TSprite::CheckCollisions() {
  if (!engine_ || isDead_ || !CanCollide) return 0;
  TSpriteEngine* e = engine_;
  SpritePassGuard guard(e);
  e->hitCount_ = 0;
  e->done_ = false;
  e->checkerRect_ = GetBounds();
  e->checker_ = this;
  // Done only stops the descent into a candidate's children, never this loop over the root's.
  const int32_t n = e->ChildCount();
  for (int32_t i = 0; i < n; ++i) e->Visit(e->children_[static_cast<size_t>(i)]);
  return e->hitCount_;
}

// ---------------------------------------------------------------------------------------------
// TSpriteEngine

TSpriteEngine::TSpriteEngine(TSprite* parent) : TSprite(parent) { tree_ = this; }

TSpriteEngine::~TSpriteEngine() {
  // The tree goes first: every freed sprite takes itself out of killList_ while it still exists.
  FreeAllChildren();
}

void TSpriteEngine::Visit(TSprite* candidate) {
  if (!candidate->CanCollide) return;
  TSprite* checker = checker_;
  if (candidate != checker && RectsOverlap(candidate->GetBounds(), checkerRect_) &&
      checker->CollidesWith(candidate) && candidate->CollidesWith(checker)) {
    ++hitCount_;
    checker->HandleCollision(candidate, done_);
    if (!checker->CanCollide || checker->isDead_) done_ = true;
  }
  if (done_) return;
  const int32_t m = candidate->ChildCount();
  for (int32_t j = 0; j < m; ++j) Visit(candidate->children_[static_cast<size_t>(j)]);
}

void TSpriteEngine::PurgeDead() {
  if (InPass()) return;
  // Each destruction removes the sprite (and any killed descendants) from killList_.
  while (!killList_.empty()) Free(killList_.back());
}

void TSpriteEngine::DrawAll() {
  drawnCount_ = 0;
  Draw();
}

void TSpriteEngine::AttachSurface(TDirectDrawSurface* surface) {
  surface_ = surface;
  if (surface_) {
    viewRect_ = TRect{0, 0, surface_->Width(), surface_->Height()};
    Width = viewRect_.Width();
    Height = viewRect_.Height();
  }
}

std::string TSpriteEngine::ValidateNode(const TSprite* node, int32_t& count) const {
  if (node->children_.size() != node->drawOrder_.size()) {
    return "children and draw order differ in size";
  }
  std::vector<const TSprite*> a(node->children_.begin(), node->children_.end());
  std::vector<const TSprite*> b(node->drawOrder_.begin(), node->drawOrder_.end());
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (a != b) return "draw order does not hold the same sprites as children";
  if (std::adjacent_find(a.begin(), a.end()) != a.end()) return "a child is listed twice";
  for (size_t i = 1; i < node->drawOrder_.size(); ++i) {
    if (node->drawOrder_[i - 1]->z_ > node->drawOrder_[i]->z_) return "draw order not sorted by Z";
  }
  const auto* nodeEngine = dynamic_cast<const TSpriteEngine*>(node);
  TSpriteEngine* expected = nodeEngine ? const_cast<TSpriteEngine*>(nodeEngine) : node->engine_;
  for (const TSprite* child : node->children_) {
    if (child->parent_ != node) return "a child's parent link is wrong";
    if (child->engine_ != expected) return "a child's engine link is wrong";
    if (child->tree_ != child->engine_ && dynamic_cast<const TSpriteEngine*>(child) == nullptr) {
      return "a child's tree link is wrong";
    }
    if (child->engine_ == this) {
      ++count;
      if (child->isDead_ &&
          std::find(killList_.begin(), killList_.end(), child) == killList_.end()) {
        return "a dead sprite is missing from the kill list";
      }
    }
    std::string why = ValidateNode(child, count);
    if (!why.empty()) return why;
  }
  return "";
}

std::string TSpriteEngine::Validate() const {
  int32_t count = 0;
  std::string why = ValidateNode(this, count);
  if (!why.empty()) return why;
  if (count != spriteCount_) {
    return Format("SpriteCount is %d but the tree holds %d", spriteCount_, count);
  }
  std::unordered_set<const TSprite*> seen;
  for (const TSprite* s : killList_) {
    if (!seen.insert(s).second) return "a sprite is listed twice in the kill list";
    if (!s->isDead_) return "a live sprite is in the kill list";
    if (s->engine_ != this) return "a kill list entry belongs to another engine";
    const TSprite* up = s;
    while (up && up != this) up = up->parent_;
    if (up != this) return "a kill list entry is not in the tree";
  }
  return "";
}
