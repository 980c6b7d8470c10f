#include "input/ffeffects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/dxinput.h"
#include "input_fixture.h"

namespace {

// Root "Effects" > a > b > c, and a second child "x" of the root.
void BuildPath(TForceFeedbackEffect& root) {
  TForceFeedbackEffect& a = root.Add();
  a.SetName("a");
  TForceFeedbackEffect& b = a.Add();
  b.SetName("b");
  b.Add().SetName("c");
  root.Add().SetName("x");
}

std::string MissingMessage(const TForceFeedbackEffect& root, const char* name) {
  try {
    root.FindEffect(name);
  } catch (const EForceFeedbackEffectError& e) {
    return e.what();
  }
  return "(found)";
}

}  // namespace

TEST(EffectTree, FindsChildrenByDottedNames) {
  TForceFeedbackEffects root(nullptr);
  EXPECT_EQ(root.Name(), "Effects");
  BuildPath(root);
  EXPECT_EQ(root.FindEffect("a").Name(), "a");
  EXPECT_EQ(root.FindEffect("x").Name(), "x");
  TForceFeedbackEffect& c = root.FindEffect("a.b.c");
  EXPECT_EQ(c.Name(), "c");
  EXPECT_EQ(c.Parent()->Name(), "b");
  EXPECT_EQ(&root.FindEffect("a").FindEffect("b.c"), &c);
  EXPECT_EQ(c.Root(), &root);
  EXPECT_EQ(root.Find("b"), nullptr);  // only a child of the root is a first part
  EXPECT_EQ(root.Find("a.c"), nullptr);
  EXPECT_EQ(root.Find("a.b.c.d"), nullptr);
  EXPECT_EQ(root.Find(""), nullptr);
  EXPECT_EQ(root.Find("a."), nullptr);
  EXPECT_EQ(root.Find("A"), nullptr);
}

TEST(EffectTree, MissingNameIsNamedInTheError) {
  TForceFeedbackEffects root(nullptr);
  BuildPath(root);
  EXPECT_EQ(MissingMessage(root, "eff2"), "Effect 'eff2' not found");
  EXPECT_EQ(MissingMessage(root, "a.b.z"), "Effect 'a.b.z' not found");
  EXPECT_THROW(root.FindEffect("nope"), Exception);
}

TEST(EffectTree, DefaultsAndCopies) {
  TForceFeedbackEffects root(nullptr);
  EXPECT_EQ(root.EffectType(), etNone);
  EXPECT_EQ(root.Period(), 50);
  EXPECT_EQ(root.Power(), 10000);
  EXPECT_EQ(root.Time(), 1000);
  EXPECT_EQ(root.StartDelayTime(), 0);
  BuildPath(root);
  root.FindEffect("a.b").SetPeriod(77);
  TForceFeedbackEffects copy(nullptr);
  copy.Add().SetName("old");
  copy.Assign(root);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Find("old"), nullptr);
  EXPECT_EQ(copy.FindEffect("a.b").Period(), 77);
  EXPECT_NE(&copy.FindEffect("a.b.c"), &root.FindEffect("a.b.c"));
  EXPECT_THROW(copy.Items(2), EListError);
  EXPECT_EQ(&copy.Items(1), &copy.FindEffect("x"));
  // Starting effects of a tree that belongs to no device does nothing.
  copy.StartEffect();
  EXPECT_FALSE(copy.FindEffect("a").Playing());
}

TEST_F(InputTest, GameJoystickTree) {
  TForceFeedbackEffects& root = input->Joystick().Effects();
  EXPECT_EQ(root.Name(), "Effects");
  EXPECT_EQ(root.Count(), 1);
  TForceFeedbackEffect& eff1 = root.FindEffect("eff1");
  EXPECT_EQ(eff1.EffectType(), etPeriodic);
  EXPECT_EQ(eff1.ConstantX(), 10000);
  EXPECT_EQ(eff1.ConstantY(), -10000);
  EXPECT_EQ(eff1.Period(), 30);
  EXPECT_EQ(eff1.Power(), 10000);
  EXPECT_EQ(eff1.Time(), 50);
  EXPECT_EQ(eff1.StartDelayTime(), 0);
  EXPECT_EQ(eff1.Input(), &input->Joystick());
  EXPECT_EQ(input->Keyboard().Effects().Count(), 0);
  EXPECT_EQ(input->Mouse().Effects().Count(), 0);
}

TEST_F(InputTest, Eff1PlaysAsAPeriodicPulse) {
  int pad = PlugPad(4, /*periodic=*/true);
  input->Update();
  ASSERT_TRUE(input->Joystick().SupportsForce());
  hl.clock->Set(1234);
  input->Joystick().Effects().FindEffect("eff1").StartEffect();
  const auto& played = hl.joysticks->Effects();
  ASSERT_EQ(played.size(), 1u);
  const auto& p = played[0];
  EXPECT_TRUE(p.periodic);
  EXPECT_EQ(p.index, pad);
  EXPECT_EQ(p.effect.directionX, -10000);
  EXPECT_EQ(p.effect.directionY, 10000);
  EXPECT_EQ(p.effect.magnitude, 14142);  // trunc(sqrt(2) * 10000)
  EXPECT_EQ(p.effect.periodUs, 30000u);
  EXPECT_EQ(p.effect.durationUs, 50000u);
  EXPECT_EQ(p.effect.gain, 10000);
  EXPECT_EQ(p.effect.startDelayMs, 0u);
  EXPECT_EQ(p.ms, 50u);
  EXPECT_EQ(p.time, 1234u);
  EXPECT_TRUE(input->Joystick().Effects().FindEffect("eff1").Playing());
  // The root (etNone) never reaches the device, even when started itself.
  hl.joysticks->ClearEffects();
  input->Joystick().Effects().StartEffect();
  ASSERT_EQ(hl.joysticks->Effects().size(), 1u);  // eff1 only
  EXPECT_FALSE(input->Joystick().Effects().HasDeviceEffect());
  EXPECT_FALSE(input->Joystick().Effects().Playing());
}

TEST_F(InputTest, Eff1OnARumbleOnlyJoystickIsA50msRumble) {
  PlugPad(4, /*periodic=*/false, /*rumble=*/true);
  input->Update();
  input->Joystick().Effects().FindEffect("eff1").StartEffect();
  const auto& played = hl.joysticks->Effects();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_FALSE(played[0].periodic);
  EXPECT_EQ(played[0].ms, 50u);
  EXPECT_FLOAT_EQ(played[0].strength, 1.0f);
}

TEST_F(InputTest, RumbleFollowsGainAndMagnitude) {
  PlugPad(4, false, true);
  input->Update();
  TForceFeedbackEffect& e = input->Joystick().Effects().FindEffect("eff1");
  e.SetConstantX(3000);
  e.SetConstantY(4000);  // magnitude 5000
  e.SetPower(5000);
  e.SetTime(120);
  e.StartEffect();
  ASSERT_EQ(hl.joysticks->Effects().size(), 1u);
  EXPECT_FLOAT_EQ(hl.joysticks->Effects()[0].strength, 0.25f);
  EXPECT_EQ(hl.joysticks->Effects()[0].ms, 120u);
}

TEST_F(InputTest, Eff1WithoutForceFeedbackDoesNothingSilently) {
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  EXPECT_NO_THROW(eff1.StartEffect());  // no joystick at all
  PlugPad();                            // a joystick without force feedback
  input->Update();
  EXPECT_NO_THROW(eff1.StartEffect());
  EXPECT_TRUE(hl.joysticks->Effects().empty());
  EXPECT_FALSE(eff1.Playing());
  EXPECT_FALSE(eff1.HasDeviceEffect());
}

TEST_F(InputTest, ForceFeedbackNeedsTheSwitchAndTheDeviceLayer) {
  PlugPad(4, true);
  input->Joystick().SetForceFeedback(false);
  input->Update();
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  eff1.StartEffect();
  EXPECT_TRUE(hl.joysticks->Effects().empty());

  input->Joystick().SetForceFeedback(true);
  input->SetUseDirectInput(false);  // the multimedia path has no effects
  eff1.StartEffect();
  EXPECT_TRUE(hl.joysticks->Effects().empty());

  input->SetUseDirectInput(true);
  eff1.StartEffect();
  EXPECT_EQ(hl.joysticks->Effects().size(), 1u);
}

TEST_F(InputTest, ChildrenStartBeforeTheirParent) {
  PlugPad(4, true);
  input->Update();
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  TForceFeedbackEffect& child = eff1.Add();
  child.SetName("kick");
  child.SetEffectType(etPeriodic);
  child.SetConstantX(0);
  child.SetConstantY(500);
  child.SetTime(10);
  eff1.StartEffect();
  ASSERT_EQ(hl.joysticks->Effects().size(), 2u);
  EXPECT_EQ(hl.joysticks->Effects()[0].effect.magnitude, 500);
  EXPECT_EQ(hl.joysticks->Effects()[0].effect.directionY, -500);
  EXPECT_EQ(hl.joysticks->Effects()[1].effect.magnitude, 14142);
  // Constant forces and conditions are not played by this device.
  child.SetEffectType(etConstantForce);
  hl.joysticks->ClearEffects();
  eff1.StartEffect();
  EXPECT_EQ(hl.joysticks->Effects().size(), 1u);
}

TEST_F(InputTest, ChangedValuesReachTheNextStart) {
  PlugPad(4, true);
  input->Update();
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  EXPECT_TRUE(eff1.HasDeviceEffect());  // prepared at set-up
  // Each change alone reaches the start after it.
  eff1.SetPeriod(40);
  eff1.StartEffect();
  eff1.SetStartDelayTime(7);
  eff1.StartEffect();
  eff1.SetPower(3000);
  eff1.StartEffect();
  const auto& played = hl.joysticks->Effects();
  ASSERT_EQ(played.size(), 3u);
  EXPECT_EQ(played[0].effect.periodUs, 40000u);
  EXPECT_EQ(played[1].effect.startDelayMs, 7u);
  EXPECT_EQ(played[2].effect.gain, 3000);
}

TEST_F(InputTest, EffectsFollowAJoystickPluggedInLater) {
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  eff1.StartEffect();
  EXPECT_TRUE(hl.joysticks->Effects().empty());
  PlugPad(2);  // no force
  int pad = PlugPad(4, true);
  input->Joystick().SetID(1);
  input->Update();
  eff1.StartEffect();
  ASSERT_EQ(hl.joysticks->Effects().size(), 1u);
  EXPECT_EQ(hl.joysticks->Effects()[0].index, pad);
}

TEST_F(InputTest, ActivationRestartsEndlessPlayingEffects) {
  PlugPad(4, true);
  input->Update();
  TForceFeedbackEffect& eff1 = input->Joystick().Effects().FindEffect("eff1");
  eff1.SetTime(-1);
  eff1.StartEffect();
  ASSERT_EQ(hl.joysticks->Effects().size(), 1u);
  EXPECT_EQ(hl.joysticks->Effects()[0].effect.durationUs, 0xFFFFFFFFu);
  Application->Dispatch({platform::EventKind::AppDeactivate});
  Application->Dispatch({platform::EventKind::AppActivate});
  EXPECT_EQ(hl.joysticks->Effects().size(), 2u);
  // A stopped one, or one of limited length, is not started again.
  eff1.StopEffect();
  input->Activated();
  EXPECT_EQ(hl.joysticks->Effects().size(), 2u);
  eff1.SetTime(50);
  eff1.StartEffect();
  input->Activated();
  EXPECT_EQ(hl.joysticks->Effects().size(), 3u);
}
