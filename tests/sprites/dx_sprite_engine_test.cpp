// The sprite engine component and its display binding.
#include <gtest/gtest.h>

#include "display_fixture.h"
#include "sprite_test_util.h"

using sprite_test::DisplayTest;
using sprite_test::Log;
using sprite_test::TRecSprite;

using DXSpriteEngineTest = DisplayTest;

TEST_F(DXSpriteEngineTest, InitializedDisplayAttachesItsBackSurface) {
  EXPECT_EQ(Root()->Surface(), draw->Back());
  EXPECT_EQ(Root()->ViewRect(), Rect(0, 0, 800, 600));
  EXPECT_EQ(Root()->Width, 800);
  EXPECT_EQ(sprites->DXDraw(), draw);
}

TEST_F(DXSpriteEngineTest, FinalizedDisplayDrawsNothingAndTheTreeSurvives) {
  new TRecSprite(Root(), &log, "a", 10, 10, 10, 10);
  sprites->DrawAll();
  EXPECT_EQ(log.Only("draw:").size(), 1u);

  draw->Finalize();
  EXPECT_EQ(Root()->Surface(), nullptr);
  log.events.clear();
  sprites->DrawAll();
  EXPECT_TRUE(log.Only("draw:").empty());
  EXPECT_EQ(Root()->SpriteCount(), 1);
  sprites->MoveAll(7);  // the passes that do not draw still run
  EXPECT_EQ(log.Only("move:").size(), 1u);

  draw->Initialize();
  EXPECT_EQ(Root()->Surface(), draw->Back());
  sprites->DrawAll();
  EXPECT_EQ(log.Only("draw:").size(), 1u);
}

TEST_F(DXSpriteEngineTest, ComponentPassesDriveTheRoot) {
  auto* a = new TRecSprite(Root(), &log, "a", 0, 0, 10, 10);
  a->onMove = [](TRecSprite* s) { s->Kill(); };
  sprites->MoveAll(33);
  EXPECT_EQ(a->lastMoveCount, 33);
  EXPECT_EQ(Root()->KillList().size(), 1u);
  sprites->PurgeDead();
  EXPECT_EQ(log.Count("free:a"), 1);
  EXPECT_EQ(Root()->SpriteCount(), 0);
}

TEST_F(DXSpriteEngineTest, ChangingTheDisplayMovesTheListener) {
  const int before = draw->ListenerCount();
  sprites->SetDXDraw(nullptr);
  EXPECT_EQ(draw->ListenerCount(), before - 1);
  EXPECT_EQ(Root()->Surface(), nullptr);  // told Finalizing on the way out
  new TRecSprite(Root(), &log, "a", 10, 10, 10, 10);
  sprites->DrawAll();
  EXPECT_TRUE(log.Only("draw:").empty());
  sprites->SetDXDraw(draw);
  EXPECT_EQ(draw->ListenerCount(), before);
  EXPECT_EQ(Root()->Surface(), draw->Back());
  sprites->DrawAll();
  EXPECT_EQ(log.Only("draw:").size(), 1u);
}

TEST_F(DXSpriteEngineTest, DestroyedDisplayIsForgotten) {
  delete draw;
  draw = nullptr;
  EXPECT_EQ(sprites->DXDraw(), nullptr);
  EXPECT_EQ(Root()->Surface(), nullptr);
  sprites->DrawAll();  // no display: nothing, and no dangling access
  EXPECT_EQ(Root()->DrawnCount(), 0);
}

TEST_F(DXSpriteEngineTest, DestroyedComponentLeavesTheDisplayAndFreesTheSprites) {
  new TRecSprite(Root(), &log, "a");
  const int before = draw->ListenerCount();
  delete sprites;
  sprites = nullptr;
  EXPECT_EQ(draw->ListenerCount(), before - 1);
  EXPECT_EQ(log.Count("free:a"), 1);
}
