#include "sprites/sprite.h"

#include <algorithm>
#include <deque>
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
// The collision grid: the root's children filed by their bounds in square cells over the view, so
// a check visits only the children filed near the checker. Cells beyond the grid's edges fold
// onto its border cells, so a sprite far outside the view is still found. A child is instead put
// on a list visited by every check when its bounds are not its own fields' business (a wrapping
// or background sprite), when it has children of its own (they are reached through it), or when
// its bounds are empty or turned inside out. Writes to X, Y, Width and Height put a child on the
// list of sprites to refile; the next check refiles them before it looks. Every refile bumps a
// counter, so a check whose handler ran a check of its own (which refiled what the handler moved)
// still sees that its candidate list is stale and looks again.
class SpriteGrid {
 public:
  static constexpr int32_t kCell = 32;  // cell size in pixels (a ball is 20, a brick 50 x 20)

  explicit SpriteGrid(const TRect& view) {
    left_ = view.Left - kCell;
    top_ = view.Top - kCell;
    cols_ = std::clamp<int64_t>((int64_t{view.Width()} + 2 * kCell) / kCell + 1, 1, 256);
    rows_ = std::clamp<int64_t>((int64_t{view.Height()} + 2 * kCell) / kCell + 1, 1, 256);
    cells_.resize(static_cast<size_t>(cols_ * rows_));
  }

  // Files every child of `root` afresh.
  void Build(TSpriteEngine* root) {
    stale = false;
    ++refiles;
    for (auto& c : cells_) c.clear();
    everyCheck_.clear();
    dirty_.clear();
    for (TSprite* s : root->children_) {
      s->gridPlace_ = 0;
      s->dirtyAt_ = -1;
      MarkDirty(s);
    }
  }

  void MarkDirty(TSprite* s) {
    if (s->dirtyAt_ >= 0) return;
    s->dirtyAt_ = static_cast<int32_t>(dirty_.size());
    dirty_.push_back(s);
  }
  bool HasDirty() const { return !dirty_.empty(); }
  size_t DirtyCount() const { return dirty_.size(); }

  // Forgets the sprites to refile and files every child afresh at the next look: while the tree
  // is too small for the grid no check looks, and a list kept meanwhile would only grow.
  void Forget() {
    for (TSprite* s : dirty_)
      if (s != nullptr) s->dirtyAt_ = -1;
    dirty_.clear();
    stale = true;
  }

  // Takes `s` out of the grid (it is leaving the root).
  void Remove(TSprite* s) {
    if (s->dirtyAt_ >= 0) {
      dirty_[static_cast<size_t>(s->dirtyAt_)] = nullptr;
      s->dirtyAt_ = -1;
    }
    Unfile(s);
  }

  // Refiles every sprite written to since the last look.
  void Refile() {
    // A GetBounds may write a field and list a sprite again: the list is read until it ends.
    for (size_t i = 0; i < dirty_.size(); ++i) {
      TSprite* s = dirty_[i];
      if (s == nullptr) continue;
      s->dirtyAt_ = -1;
      dirty_[i] = nullptr;
      File(s);
      ++refiles;
    }
    dirty_.clear();
  }

  // "" when every child filed in cells is filed where its bounds are now (children waiting to be
  // refiled, and every child of a stale grid, are not yet due); else what is wrong.
  std::string Check(const TSpriteEngine* root) const {
    if (stale) return "";
    for (TSprite* s : root->children_) {
      if (s->gridPlace_ != 1 || s->dirtyAt_ >= 0) continue;
      const TRect b = s->GetBounds();
      const bool empty = b.Right <= b.Left || b.Bottom <= b.Top;
      if (empty || Col(b.Left) != s->cellLeft_ || Col(int64_t{b.Right} - 1) != s->cellRight_ ||
          Row(b.Top) != s->cellTop_ || Row(int64_t{b.Bottom} - 1) != s->cellBottom_) {
        return "a sprite's bounds moved without a write to its fields (its class says they follow "
               "them)";
      }
    }
    return "";
  }

  // The children with serial in (after, last] that may overlap `r`, in creation order.
  void Collect(const TRect& r, uint64_t after, uint64_t last, std::vector<TSprite*>& out) {
    out.clear();
    const uint64_t mark = ++mark_;
    auto take = [&](TSprite* s) {
      if (s->seenMark_ == mark || s->serial_ <= after || s->serial_ > last) return;
      s->seenMark_ = mark;
      out.push_back(s);
    };
    // Pixels a candidate must reach to overlap r, even when r is empty or inside out.
    const int64_t x0 = std::min<int64_t>(r.Left, int64_t{r.Right} - 1);
    const int64_t x1 = std::max<int64_t>(r.Left, int64_t{r.Right} - 1);
    const int64_t y0 = std::min<int64_t>(r.Top, int64_t{r.Bottom} - 1);
    const int64_t y1 = std::max<int64_t>(r.Top, int64_t{r.Bottom} - 1);
    const int64_t c0 = Col(x0), c1 = Col(x1), r0 = Row(y0), r1 = Row(y1);
    for (int64_t row = r0; row <= r1; ++row)
      for (int64_t col = c0; col <= c1; ++col)
        for (TSprite* s : cells_[static_cast<size_t>(row * cols_ + col)]) take(s);
    for (TSprite* s : everyCheck_) take(s);
    std::sort(out.begin(), out.end(),
              [](const TSprite* a, const TSprite* b) { return a->serial_ < b->serial_; });
  }

  // A list of candidates per nesting depth of checks (a handler may run a check of its own).
  std::vector<TSprite*>& Buffer(int level) {
    while (buffers_.size() <= static_cast<size_t>(level)) buffers_.emplace_back();
    return buffers_[static_cast<size_t>(level)];
  }
  int depth = 0;         // checks running on this grid (a handler may start one of its own)
  bool stale = false;    // every child is to be filed afresh before the next look
  uint64_t refiles = 0;  // bumped by every refile and every filing afresh

 private:
  int64_t Col(int64_t x) const { return std::clamp<int64_t>(FloorDiv(x - left_), 0, cols_ - 1); }
  int64_t Row(int64_t y) const { return std::clamp<int64_t>(FloorDiv(y - top_), 0, rows_ - 1); }
  static int64_t FloorDiv(int64_t v) { return v >= 0 ? v / kCell : -((-v + kCell - 1) / kCell); }

  std::vector<TSprite*>& Cell(int64_t col, int64_t row) {
    return cells_[static_cast<size_t>(row * cols_ + col)];
  }
  static void EraseOne(std::vector<TSprite*>& v, TSprite* s) {
    auto it = std::find(v.begin(), v.end(), s);
    if (it == v.end()) return;
    *it = v.back();
    v.pop_back();
  }

  void Unfile(TSprite* s) {
    if (s->gridPlace_ == 1) {
      for (int32_t row = s->cellTop_; row <= s->cellBottom_; ++row)
        for (int32_t col = s->cellLeft_; col <= s->cellRight_; ++col) EraseOne(Cell(col, row), s);
    } else if (s->gridPlace_ == 2) {
      EraseOne(everyCheck_, s);
    }
    s->gridPlace_ = 0;
  }

  void File(TSprite* s) {
    const TRect b = s->GetBounds();
    if (!s->children_.empty() || !s->BoundsFollowFields() || b.Right <= b.Left ||
        b.Bottom <= b.Top) {
      if (s->gridPlace_ == 2) return;
      Unfile(s);
      everyCheck_.push_back(s);
      s->gridPlace_ = 2;
      return;
    }
    const auto c0 = static_cast<int32_t>(Col(b.Left)),
               c1 = static_cast<int32_t>(Col(int64_t{b.Right} - 1));
    const auto r0 = static_cast<int32_t>(Row(b.Top)),
               r1 = static_cast<int32_t>(Row(int64_t{b.Bottom} - 1));
    if (s->gridPlace_ == 1 && s->cellLeft_ == c0 && s->cellRight_ == c1 && s->cellTop_ == r0 &&
        s->cellBottom_ == r1)
      return;
    Unfile(s);
    for (int32_t row = r0; row <= r1; ++row)
      for (int32_t col = c0; col <= c1; ++col) Cell(col, row).push_back(s);
    s->gridPlace_ = 1;
    s->cellLeft_ = c0;
    s->cellRight_ = c1;
    s->cellTop_ = r0;
    s->cellBottom_ = r1;
  }

  int64_t left_ = 0, top_ = 0, cols_ = 1, rows_ = 1;
  std::vector<std::vector<TSprite*>> cells_;
  std::vector<TSprite*> everyCheck_;
  std::vector<TSprite*> dirty_;
  std::deque<std::vector<TSprite*>> buffers_;  // a deque: growing keeps the outer lists in place
  uint64_t mark_ = 0;
};

// ---------------------------------------------------------------------------------------------
// TSprite

TSprite::TSprite(TSprite* parent) : parent_(parent) {
  if (parent_) {
    parent_->AddChild(this);
    engine_ = dynamic_cast<TSpriteEngine*>(parent_);
    if (!engine_) engine_ = parent_->engine_;
    if (engine_) {
      ++engine_->spriteCount_;
      serial_ = ++engine_->nextSerial_;
    }
    tree_ = engine_;
    if (engine_ && parent_ == engine_) engine_->ChildMoved(this);
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

bool TSprite::BoundsFollowFields() const { return true; }

void TSprite::FieldChanged() {
  // The root's own position moves every child's bounds.
  if (tree_ == this) static_cast<TSpriteEngine*>(this)->AllChildrenMoved();
  if (engine_ && parent_ == engine_) engine_->ChildMoved(this);
}

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
  // A child of the root with children of its own is visited by every check (it leads to them).
  if (children_.empty() && engine_ && parent_ == engine_) engine_->ChildMoved(this);
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
    if (engine_ && parent_ == engine_) engine_->ChildMoved(this);
    // Both lists go away with the last child.
    std::vector<TSprite*>().swap(children_);
    std::vector<TSprite*>().swap(drawOrder_);
  }
}

void TSprite::Detach() {
  if (!parent_) return;
  if (engine_ && parent_ == engine_ && engine_->grid_) engine_->grid_->Remove(this);
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
  if (n >= e->GridMinSprites && e->parent_ == nullptr) return e->CheckWithGrid(n);
  for (int32_t i = 0; i < n; ++i) e->Visit(e->children_[static_cast<size_t>(i)]);
  return e->hitCount_;
}

// ---------------------------------------------------------------------------------------------
// TSpriteEngine

TSpriteEngine::TSpriteEngine(TSprite* parent) : TSprite(parent) { tree_ = this; }

TSpriteEngine::~TSpriteEngine() {
  grid_.reset();  // nothing to refile any more
  // The tree goes first: every freed sprite takes itself out of killList_ while it still exists.
  FreeAllChildren();
}

void TSpriteEngine::ChildMoved(TSprite* s) {
  if (!grid_) return;
  // A tree too small for the grid is walked whole: nothing is refiled until it grows again, when
  // every child is filed afresh.
  if (grid_->depth == 0 && ChildCount() < GridMinSprites) {
    if (!grid_->stale || grid_->HasDirty()) grid_->Forget();
    return;
  }
  grid_->MarkDirty(s);
}

size_t TSpriteEngine::GridBacklog() const { return grid_ ? grid_->DirtyCount() : 0; }

void TSpriteEngine::AllChildrenMoved() {
  if (grid_) grid_->stale = true;  // filed afresh by the next look
}

int32_t TSpriteEngine::CheckWithGrid(int32_t n) {
  if (!grid_ || gridView_ != viewRect_) {
    // The cells cover the view the sprites live in (the usual field when none is attached).
    const TRect view =
        viewRect_.Width() > 0 && viewRect_.Height() > 0 ? viewRect_ : TRect{0, 0, 800, 600};
    if (grid_ && grid_->depth > 0) {
      grid_->stale = true;  // a nested check keeps the grid its caller is walking
    } else {
      grid_ = std::make_unique<SpriteGrid>(view);
      gridView_ = viewRect_;
      grid_->stale = true;
    }
  }
  SpriteGrid& g = *grid_;
  struct Depth {
    SpriteGrid& g;
    explicit Depth(SpriteGrid& grid) : g(grid) { ++g.depth; }
    ~Depth() { --g.depth; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;
  } depth(g);
  std::vector<TSprite*>& candidates = g.Buffer(g.depth - 1);
  // Children made during the check (after the n counted) are not visited, as in the plain walk.
  const uint64_t last = children_[static_cast<size_t>(n - 1)]->serial_;
  uint64_t seen = 0;  // the refile count the candidate list was collected at
  auto look = [&](uint64_t after, const TRect& r) {
    if (g.stale) g.Build(this);
    g.Refile();
    seen = g.refiles;
    g.Collect(r, after, last, candidates);
  };
  TRect looked = checkerRect_;
  look(0, looked);
  for (size_t i = 0; i < candidates.size();) {
    TSprite* c = candidates[i++];
    Visit(c);
    // A handler moved or resized a sprite (a nested check may already have refiled it, which
    // the counter tells), or a nested check took over the checker's rectangle: look again for
    // the children after this one.
    if (g.stale || g.HasDirty() || g.refiles != seen || looked != checkerRect_) {
      looked = checkerRect_;
      look(c->serial_, looked);
      i = 0;
    }
  }
  return hitCount_;
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
  if (grid_) return grid_->Check(this);
  return "";
}
