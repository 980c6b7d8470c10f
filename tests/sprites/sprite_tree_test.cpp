// The sprite tree: creation, Z order, killing and purging, the move and draw passes.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "display/surface.h"
#include "sprite_test_util.h"
#include "sprites/sprite.h"

using sprite_test::ChildNames;
using sprite_test::DrawOrderNames;
using sprite_test::Log;
using sprite_test::TRecSprite;
using Names = std::vector<std::string>;

namespace {

// An engine with an 800 x 600 surface attached, as the display gives it.
struct Tree {
  Log log;
  TDirectDrawSurface surface{16};
  std::unique_ptr<TSpriteEngine> engine = std::make_unique<TSpriteEngine>();
  Tree() {
    surface.SetSize(800, 600);
    engine->AttachSurface(&surface);
  }
  TRecSprite* Add(const std::string& name, int z = 0, double x = 0, double y = 0, int w = 10,
                  int h = 10, TSprite* parent = nullptr) {
    return new TRecSprite(parent ? parent : engine.get(), &log, name, x, y, w, h, z);
  }
};

}  // namespace

// ---- creation and destruction ---------------------------------------------------------------

TEST(SpriteCreation, NewSpriteJoinsItsParentWithDefaults) {
  Tree t;
  auto* a = t.Add("a");
  auto* b = t.Add("b", 0, 0, 0, 0, 0, a);
  EXPECT_EQ(t.engine->SpriteCount(), 2);
  EXPECT_EQ(a->Engine(), t.engine.get());
  EXPECT_EQ(b->Engine(), t.engine.get());
  EXPECT_EQ(b->Parent(), a);
  EXPECT_EQ(t.engine->Engine(), nullptr);
  EXPECT_EQ(t.engine->Parent(), nullptr);

  TSprite plain(t.engine.get());
  EXPECT_TRUE(plain.CanCollide);
  EXPECT_TRUE(plain.CanMove);
  EXPECT_TRUE(plain.Visible);
  EXPECT_FALSE(plain.IsDead());
  EXPECT_EQ(plain.Z(), 0);
  EXPECT_EQ(plain.X, 0.0);
  EXPECT_EQ(plain.Width, 0);
  EXPECT_EQ(t.engine->SpriteCount(), 3);
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteCreation, AbsolutePositionAddsTheParents) {
  Tree t;
  auto* a = t.Add("a", 0, 100.5, 20);
  auto* b = t.Add("b", 0, -30.25, 5, 4, 3, a);
  EXPECT_DOUBLE_EQ(b->AbsX(), 70.25);
  EXPECT_DOUBLE_EQ(b->AbsY(), 25);
  EXPECT_EQ(b->GetBounds(), Rect(70, 25, 74, 28));
  b->X = -100.75;  // -0.25 absolute: Trunc cuts toward zero
  EXPECT_EQ(b->GetBounds().Left, 0);
  b->X = -101.5;  // -1.0
  EXPECT_EQ(b->GetBounds().Left, -1);
}

TEST(SpriteCreation, ClassReferenceMakesTheRightClass) {
  struct TOther : TSprite {
    using TSprite::TSprite;
  };
  Tree t;
  TSpriteClass cls = SpriteClassOf<TOther>;
  TSprite* s = cls(t.engine.get());
  EXPECT_NE(dynamic_cast<TOther*>(s), nullptr);
  EXPECT_EQ(s->Parent(), t.engine.get());
  EXPECT_EQ(t.engine->SpriteCount(), 1);
}

TEST(SpriteCreation, ConstructorThatThrowsLeavesTheTreeIntact) {
  struct TFailing : TSprite {
    explicit TFailing(TSprite* p) : TSprite(p) { throw ESpriteError("no"); }
  };
  Tree t;
  t.Add("a");
  EXPECT_THROW(new TFailing(t.engine.get()), ESpriteError);
  EXPECT_EQ(t.engine->SpriteCount(), 1);
  EXPECT_EQ(ChildNames(*t.engine), Names{"a"});
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteCreation, ChildIndexErrors) {
  Tree t;
  try {
    t.engine->Child(0);
    FAIL() << "no error";
  } catch (const ESpriteError& e) {
    EXPECT_STREQ(e.what(), "Index of the list exceeds the range. (0)");
  }
  t.Add("a");
  try {
    t.engine->Child(3);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index of the list exceeds the range. (3)");
  }
  EXPECT_THROW(t.engine->Child(-1), EListError);
  EXPECT_NO_THROW(t.engine->Child(0));
}

TEST(SpriteDestruction, FreeingASpriteFreesItsSubtreeLastChildFirst) {
  Tree t;
  auto* p = t.Add("p");
  auto* c1 = t.Add("c1", 0, 0, 0, 1, 1, p);
  t.Add("c2", 0, 0, 0, 1, 1, p);
  t.Add("g", 0, 0, 0, 1, 1, c1);
  t.Add("q");
  EXPECT_EQ(t.engine->SpriteCount(), 5);
  p->FreeChildren();
  // Each sprite's own destructor runs before its subtree is freed (as the log shows).
  EXPECT_EQ(t.log.Only("free:"), (Names{"c2", "c1", "g"}));
  EXPECT_EQ(p->ChildCount(), 0);
  EXPECT_THROW(p->Child(0), ESpriteError);  // the list is gone again
  EXPECT_EQ(t.engine->SpriteCount(), 2);
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteDestruction, EngineFreesTheWholeTreeIncludingKilledSprites) {
  Tree t;
  auto* a = t.Add("a");
  t.Add("b", 0, 0, 0, 1, 1, a);
  auto* c = t.Add("c");
  c->Kill();
  a->Kill();
  t.engine.reset();
  EXPECT_EQ(t.log.Only("free:"), (Names{"c", "a", "b"}));
}

// ---- Z order --------------------------------------------------------------------------------

TEST(SpriteZOrder, EqualDepthsPutTheNewestUnderneath) {
  Tree t;
  t.Add("A", 1);
  t.Add("B", 1);
  t.Add("C", 0);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"C", "B", "A"}));
  EXPECT_EQ(ChildNames(*t.engine), (Names{"A", "B", "C"}));
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), (Names{"C", "B", "A"}));
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteZOrder, ChangingZReinsertsBeforeTheNewEquals) {
  Tree t;
  auto* a = t.Add("A", 0);
  auto* b = t.Add("B", 1);
  t.Add("C", 1);
  t.Add("D", 2);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"A", "C", "B", "D"}));
  a->SetZ(1);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"A", "C", "B", "D"}));
  a->SetZ(2);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"C", "B", "A", "D"}));
  b->SetZ(1);  // the same value: nothing moves
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"C", "B", "A", "D"}));
  b->SetZ(-5);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"B", "C", "A", "D"}));
  EXPECT_EQ(ChildNames(*t.engine), (Names{"A", "B", "C", "D"}));  // creation order stays
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteZOrder, ExtremeDepthsStaySorted) {
  Tree t;
  t.Add("max", INT_MAX);
  t.Add("min", INT_MIN);
  t.Add("zero", 0);
  t.Add("max2", INT_MAX);
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"min", "zero", "max2", "max"}));
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteZOrder, ManyRandomChangesKeepTheOrderValid) {
  Tree t;
  std::vector<TRecSprite*> all;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % 7) - 3;
  };
  for (int i = 0; i < 60; ++i) all.push_back(t.Add("s" + std::to_string(i), next()));
  for (int i = 0; i < 300; ++i) all[static_cast<size_t>(i % 60)]->SetZ(next());
  EXPECT_EQ(t.engine->Validate(), "");
}

// ---- killing and purging --------------------------------------------------------------------

TEST(SpriteKill, DoubleKillLeavesOneEntryAndRootIgnoresKill) {
  Tree t;
  auto* a = t.Add("a");
  a->Kill();
  a->Kill();
  t.engine->Kill();
  EXPECT_EQ(t.engine->KillList().size(), 1u);
  EXPECT_TRUE(a->IsDead());
  EXPECT_FALSE(t.engine->IsDead());
  EXPECT_EQ(t.engine->Validate(), "");
  t.engine->PurgeDead();
  EXPECT_EQ(t.log.Count("free:a"), 1);
  EXPECT_EQ(t.engine->SpriteCount(), 0);
}

TEST(SpriteKill, PurgeFreesInReverseOrderOfKilling) {
  Tree t;
  auto* a = t.Add("a");
  auto* b = t.Add("b");
  auto* c = t.Add("c");
  t.Add("d");
  b->Kill();
  c->Kill();
  a->Kill();
  t.engine->PurgeDead();
  EXPECT_EQ(t.log.Only("free:"), (Names{"a", "c", "b"}));
  EXPECT_EQ(ChildNames(*t.engine), Names{"d"});
  EXPECT_TRUE(t.engine->KillList().empty());
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteKill, KilledChildOfAFreedParentIsFreedOnce) {
  Tree t;
  auto* p = t.Add("p");
  auto* c = t.Add("c", 0, 0, 0, 1, 1, p);
  t.Add("d", 0, 0, 0, 1, 1, p);
  c->Kill();
  p->Kill();
  EXPECT_EQ(t.engine->Validate(), "");
  t.engine->PurgeDead();
  EXPECT_EQ(t.log.Only("free:"), (Names{"p", "d", "c"}));
  EXPECT_EQ(t.engine->SpriteCount(), 0);
  EXPECT_TRUE(t.engine->KillList().empty());
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteKill, KilledChildLeavesTheKillListWhenItsParentIsFreedDirectly) {
  Tree t;
  auto* p = t.Add("p");
  auto* c = t.Add("c", 0, 0, 0, 1, 1, p);
  c->Kill();
  p->FreeChildren();
  EXPECT_TRUE(t.engine->KillList().empty());
  t.engine->PurgeDead();
  EXPECT_EQ(t.log.Count("free:c"), 1);
  EXPECT_EQ(t.engine->Validate(), "");
}

TEST(SpriteKill, KilledSpriteIsStillMovedDrawnAndHitUntilPurged) {
  Tree t;
  auto* a = t.Add("a", 0, 0, 0, 10, 10);
  auto* b = t.Add("b", 0, 5, 5, 10, 10);
  b->Kill();
  t.engine->Move(1);
  t.engine->DrawAll();
  EXPECT_EQ(a->CheckCollisions(), 1);
  EXPECT_EQ(b->CheckCollisions(), 0);  // a dead sprite does not check
  EXPECT_EQ(t.log.Only("move:"), (Names{"a", "b"}));
  EXPECT_EQ(t.log.Only("draw:"), (Names{"b", "a"}));
  t.log.events.clear();
  t.engine->PurgeDead();
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), Names{"a"});
  EXPECT_EQ(t.engine->DrawnCount(), 1);
}

TEST(SpriteKill, SelfKillInMoveIsNotDrawnAfterPurge) {
  Tree t;
  auto* a = t.Add("a");
  t.Add("b");
  a->onMove = [](TRecSprite* s) { s->Kill(); };
  t.engine->Move(1);
  t.engine->PurgeDead();
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), Names{"b"});
  EXPECT_EQ(t.engine->SpriteCount(), 1);
}

TEST(SpriteKill, FreeingDuringAPassIsHeldBackUntilThePassEnds) {
  Tree t;
  auto* a = t.Add("a");
  auto* b = t.Add("b");
  t.Add("c", 0, 0, 0, 1, 1, b);
  TSpriteEngine* engine = t.engine.get();
  a->onMove = [engine, b](TRecSprite*) {
    b->Kill();
    engine->PurgeDead();  // must not free b while the walk is about to visit it
    b->FreeChildren();    // nor b's child
  };
  t.engine->Move(1);
  EXPECT_EQ(t.log.Only("move:"), (Names{"a", "b", "c"}));
  EXPECT_EQ(t.log.Only("free:"), Names{});
  EXPECT_EQ(t.engine->Validate(), "");
  t.engine->PurgeDead();
  EXPECT_EQ(t.log.Only("free:"), (Names{"c", "b"}));
  EXPECT_EQ(t.engine->SpriteCount(), 1);
  EXPECT_FALSE(t.engine->InPass());
}

// ---- move pass ------------------------------------------------------------------------------

TEST(SpriteMove, SpritesMoveInCreationOrderWithTheGivenCount) {
  Tree t;
  auto* a = t.Add("a", 5);
  t.Add("b", 0);
  t.Add("c", 0, 0, 0, 1, 1, a);
  t.engine->Move(10000);
  EXPECT_EQ(t.log.Only("move:"), (Names{"a", "c", "b"}));
  EXPECT_EQ(a->lastMoveCount, 10000);
}

TEST(SpriteMove, SpriteCreatedDuringThePassMovesInTheNextOne) {
  Tree t;
  auto* a = t.Add("a");
  Log* log = &t.log;
  int made = 0;
  a->onMove = [log, &made](TRecSprite* s) {
    if (made++ == 0) new TRecSprite(s->Engine(), log, "n");
  };
  t.engine->Move(1);
  EXPECT_EQ(t.log.Only("move:"), Names{"a"});
  EXPECT_EQ(t.engine->SpriteCount(), 2);
  t.log.events.clear();
  t.engine->Move(1);
  EXPECT_EQ(t.log.Only("move:"), (Names{"a", "n"}));
}

TEST(SpriteMove, ChildrenAreCountedAfterTheParentsOwnStep) {
  Tree t;
  auto* a = t.Add("a");
  Log* log = &t.log;
  a->onMove = [log](TRecSprite* s) {
    if (s->ChildCount() == 0) new TRecSprite(s, log, "kid");
  };
  t.engine->Move(1);
  EXPECT_EQ(t.log.Only("move:"), (Names{"a", "kid"}));
}

TEST(SpriteMove, CanMoveFalseHoldsTheWholeSubtree) {
  Tree t;
  auto* a = t.Add("a");
  t.Add("a1", 0, 0, 0, 1, 1, a);
  t.Add("b");
  a->CanMove = false;
  t.engine->Move(1);
  EXPECT_EQ(t.log.Only("move:"), Names{"b"});
}

// ---- draw pass ------------------------------------------------------------------------------

TEST(SpriteDraw, OnlySpritesOverlappingTheViewDraw) {
  Tree t;
  t.Add("in", 0, 100, 100, 10, 10);
  t.Add("partly", 0, -5, -5, 10, 10);
  t.Add("right", 0, 800, 0, 10, 10);     // touches the right edge only
  t.Add("above", 0, 100, -10, 10, 10);   // touches the top edge only
  t.Add("corner", 0, 795, 595, 10, 10);  // one 5 x 5 corner inside
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), (Names{"corner", "partly", "in"}));
  EXPECT_EQ(t.engine->DrawnCount(), 3);
  t.engine->DrawAll();
  EXPECT_EQ(t.engine->DrawnCount(), 3);  // reset at every DrawAll
}

TEST(SpriteDraw, VisibleFalseHidesTheWholeSubtree) {
  Tree t;
  auto* a = t.Add("a");
  t.Add("a1", 0, 0, 0, 10, 10, a);
  t.Add("b");
  a->Visible = false;
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), Names{"b"});
  a->Visible = true;
  t.engine->Visible = false;
  t.engine->DrawAll();
  EXPECT_EQ(t.engine->DrawnCount(), 0);
}

TEST(SpriteDraw, ChildrenDrawAfterTheirParentInTheirOwnZOrder) {
  Tree t;
  auto* p = t.Add("p", 3);
  t.Add("p1", 9, 0, 0, 10, 10, p);
  t.Add("p2", -9, 0, 0, 10, 10, p);
  t.Add("q", 4);
  t.engine->DrawAll();
  EXPECT_EQ(t.log.Only("draw:"), (Names{"p", "p2", "p1", "q"}));
}

TEST(SpriteDraw, ZChangeAndCreationDuringTheDrawPassAreSafe) {
  Tree t;
  auto* a = t.Add("a", 0);
  t.Add("b", 1);
  Log* log = &t.log;
  a->onDraw = [log](TRecSprite* s) {
    s->SetZ(5);
    new TRecSprite(s->Engine(), log, "late", 0, 0, 10, 10, -1);
  };
  t.engine->DrawAll();
  EXPECT_EQ(t.engine->Validate(), "");
  EXPECT_EQ(DrawOrderNames(*t.engine), (Names{"late", "b", "a"}));
  EXPECT_LE(t.engine->DrawnCount(), 3);
}

TEST(SpriteDraw, AttachSurfaceSetsViewAndRootSize) {
  Tree t;
  EXPECT_EQ(t.engine->ViewRect(), Rect(0, 0, 800, 600));
  EXPECT_EQ(t.engine->Width, 800);
  EXPECT_EQ(t.engine->Height, 600);
  TDirectDrawSurface small(16);
  small.SetSize(320, 200);
  t.engine->AttachSurface(&small);
  EXPECT_EQ(t.engine->ViewRect(), Rect(0, 0, 320, 200));
  EXPECT_EQ(t.engine->Width, 320);
  t.engine->AttachSurface(nullptr);
  EXPECT_EQ(t.engine->Surface(), nullptr);
  EXPECT_EQ(t.engine->ViewRect(), Rect(0, 0, 320, 200));  // kept
}

TEST(SpriteDraw, NothingIsDrawnBeforeASurfaceWasEverAttached) {
  Log log;
  TSpriteEngine engine;
  new TRecSprite(&engine, &log, "a", 0, 0, 10, 10);
  engine.DrawAll();
  EXPECT_EQ(engine.DrawnCount(), 0);
  EXPECT_TRUE(log.Only("draw:").empty());
}
