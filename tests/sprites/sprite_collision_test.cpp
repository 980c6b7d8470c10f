// Collision checks: rectangle overlap, the order of the tests, Done, and the flat-tree behaviour.
#include <gtest/gtest.h>

#include "sprite_test_util.h"
#include "sprites/sprite.h"

using sprite_test::Log;
using sprite_test::TRecSprite;
using Names = std::vector<std::string>;

namespace {

struct Tree {
  Log log;
  TSpriteEngine engine;
  TRecSprite* Add(const std::string& name, double x, double y, int w, int h,
                  TSprite* parent = nullptr) {
    return new TRecSprite(parent ? parent : &engine, &log, name, x, y, w, h);
  }
};

}  // namespace

TEST(RectsOverlapTest, SharedInteriorOnly) {
  const TRect a = Rect(0, 0, 10, 10);
  EXPECT_TRUE(RectsOverlap(a, Rect(9, 9, 20, 20)));
  EXPECT_TRUE(RectsOverlap(a, Rect(-5, 2, 1, 3)));
  EXPECT_TRUE(RectsOverlap(a, Rect(2, 2, 3, 3)));  // inside
  EXPECT_TRUE(RectsOverlap(Rect(2, 2, 3, 3), a));
  EXPECT_FALSE(RectsOverlap(a, Rect(10, 0, 20, 10)));   // right edge touches
  EXPECT_FALSE(RectsOverlap(a, Rect(-10, 0, 0, 10)));   // left edge touches
  EXPECT_FALSE(RectsOverlap(a, Rect(0, 10, 10, 20)));   // bottom edge touches
  EXPECT_FALSE(RectsOverlap(a, Rect(0, -10, 10, 0)));   // top edge touches
  EXPECT_FALSE(RectsOverlap(a, Rect(10, 10, 20, 20)));  // corner touches
}

TEST(SpriteCollision, TouchingEdgesDoNotCollide) {
  Tree t;
  auto* a = t.Add("a", 0, 0, 50, 20);
  t.Add("right", 50, 0, 50, 20);
  t.Add("below", 0, 20, 50, 20);
  t.Add("overlap", 49.9, 19.9, 50, 20);  // truncates to (49, 19): one pixel shared
  EXPECT_EQ(a->CheckCollisions(), 1);
  EXPECT_EQ(t.log.Only("hit:"), Names{"a>overlap"});
  EXPECT_EQ(t.engine.HitCount(), 1);
}

TEST(SpriteCollision, BothPartiesAreAskedInOrderEachOnlyIfThePreviousHeld) {
  Tree t;
  auto* a = t.Add("a", 0, 0, 10, 10);
  auto* b = t.Add("b", 5, 5, 10, 10);
  t.Add("far", 100, 100, 10, 10);
  EXPECT_EQ(a->CheckCollisions(), 1);
  EXPECT_EQ(t.log.events, (Names{"ask:a>b", "ask:b>a", "hit:a>b"}));

  t.log.events.clear();
  a->collides = false;
  EXPECT_EQ(a->CheckCollisions(), 0);
  EXPECT_EQ(t.log.events, Names{"ask:a>b"});

  t.log.events.clear();
  a->collides = true;
  b->collides = false;
  EXPECT_EQ(a->CheckCollisions(), 0);
  EXPECT_EQ(t.log.events, (Names{"ask:a>b", "ask:b>a"}));
}

TEST(SpriteCollision, RefusedChecksCallNothing) {
  Tree t;
  auto* a = t.Add("a", 0, 0, 10, 10);
  auto* b = t.Add("b", 0, 0, 10, 10);
  EXPECT_EQ(t.engine.CheckCollisions(), 0);
  a->CanCollide = false;
  EXPECT_EQ(a->CheckCollisions(), 0);
  a->CanCollide = true;
  a->Kill();
  EXPECT_EQ(a->CheckCollisions(), 0);
  EXPECT_TRUE(t.log.events.empty());
  // Stand-alone sprites have no engine to check against.
  TSprite lone(nullptr);
  EXPECT_EQ(lone.CheckCollisions(), 0);
  EXPECT_EQ(b->CheckCollisions(), 1);  // a, though dead, is still a candidate
}

TEST(SpriteCollision, SelfKillingCheckerKeepsReceivingEveryOverlappingSibling) {
  Tree t;
  auto* ball = t.Add("ball", 10, 10, 20, 20);
  auto* b1 = t.Add("b1", 0, 0, 15, 15);
  t.Add("b1kid", 12, 12, 5, 5, b1);  // overlaps, but Done stops the descent into b1
  t.Add("b2", 25, 0, 15, 15);
  t.Add("miss", 300, 0, 15, 15);
  t.Add("b3", 0, 25, 15, 15);
  ball->onHit = [](TRecSprite* self, TSprite*, bool&) { self->Kill(); };
  EXPECT_EQ(ball->CheckCollisions(), 3);
  EXPECT_EQ(t.log.Only("hit:"), (Names{"ball>b1", "ball>b2", "ball>b3"}));
  EXPECT_TRUE(t.engine.Done());
  EXPECT_EQ(t.engine.Validate(), "");
}

TEST(SpriteCollision, DoneStopsOnlyTheDescentIntoChildren) {
  Tree t;
  auto* c = t.Add("c", 0, 0, 100, 100);
  auto* p = t.Add("p", 0, 0, 10, 10);
  t.Add("pk", 5, 5, 10, 10, p);
  t.Add("q", 50, 50, 10, 10);
  t.Add("qk", 1, 1, 10, 10, t.engine.Child(2));
  c->onHit = [](TRecSprite*, TSprite* other, bool& done) {
    done = static_cast<TRecSprite*>(other)->name() == "p";
  };
  EXPECT_EQ(c->CheckCollisions(), 3);
  EXPECT_EQ(t.log.Only("hit:"), (Names{"c>p", "c>q", "c>qk"}));

  // Without Done, children are visited after their parent.
  t.log.events.clear();
  c->onHit = nullptr;
  EXPECT_EQ(c->CheckCollisions(), 4);
  EXPECT_EQ(t.log.Only("hit:"), (Names{"c>p", "c>pk", "c>q", "c>qk"}));
}

TEST(SpriteCollision, ClearingCanCollideInTheHandlerEndsTheDescentToo) {
  Tree t;
  auto* c = t.Add("c", 0, 0, 100, 100);
  auto* p = t.Add("p", 0, 0, 10, 10);
  t.Add("pk", 5, 5, 10, 10, p);
  c->onHit = [](TRecSprite* self, TSprite*, bool&) { self->CanCollide = false; };
  EXPECT_EQ(c->CheckCollisions(), 1);
  EXPECT_TRUE(t.engine.Done());
}

TEST(SpriteCollision, CanCollideFalseHidesTheCandidatesSubtree) {
  Tree t;
  auto* c = t.Add("c", 0, 0, 100, 100);
  auto* p = t.Add("p", 0, 0, 10, 10);
  t.Add("pk", 5, 5, 10, 10, p);
  p->CanCollide = false;
  EXPECT_EQ(c->CheckCollisions(), 0);
  EXPECT_TRUE(t.log.events.empty());
}

TEST(SpriteCollision, CheckerBoundsAreReadOnceAtTheStart) {
  Tree t;
  auto* c = t.Add("c", 0, 0, 10, 10);
  t.Add("near", 5, 5, 10, 10);
  t.Add("also", 0, 5, 10, 10);
  t.Add("there", 500, 500, 10, 10);
  c->onHit = [](TRecSprite* self, TSprite*, bool&) { self->X = 500, self->Y = 500; };
  EXPECT_EQ(c->CheckCollisions(), 2);
  EXPECT_EQ(t.log.Only("hit:"), (Names{"c>near", "c>also"}));
  EXPECT_EQ(t.engine.CheckerRect(), Rect(0, 0, 10, 10));
  EXPECT_EQ(t.engine.Checker(), c);
}

TEST(SpriteCollision, SpritesCreatedByAHandlerWaitForTheNextCheck) {
  Tree t;
  auto* c = t.Add("c", 0, 0, 10, 10);
  t.Add("b", 5, 5, 10, 10);
  Log* log = &t.log;
  c->onHit = [log](TRecSprite* self, TSprite* other, bool&) {
    if (static_cast<TRecSprite*>(other)->name() == "b") {
      new TRecSprite(self->Engine(), log, "new", 0, 0, 10, 10);
    }
  };
  EXPECT_EQ(c->CheckCollisions(), 1);
  EXPECT_EQ(c->CheckCollisions(), 2);
  EXPECT_EQ(t.engine.SpriteCount(), 4);
}

TEST(SpriteCollision, ChildSpriteChecksAgainstTheWholeTree) {
  Tree t;
  auto* p = t.Add("p", 100, 100, 10, 10);
  auto* k = t.Add("k", -100, -100, 10, 10, p);  // absolute (0, 0)
  t.Add("o", 5, 5, 10, 10);
  EXPECT_EQ(k->CheckCollisions(), 1);
  EXPECT_EQ(t.log.Only("hit:"), Names{"k>o"});
}
