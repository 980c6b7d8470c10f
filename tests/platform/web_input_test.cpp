// The browser driver's reading of key events and of the page's address (src/platform/web/
// web_input.cpp, free of browser calls, so it is checked here natively).
#include "platform/web/web_input.h"

#include <gtest/gtest.h>

#include "platform/keys.h"
#include "platform/platform.h"

using namespace platform;
using platform::web::PadKey;
using platform::web::PadKeyChanges;
using platform::web::QueryHas;
using platform::web::QueryValue;
using platform::web::ScancodeFromKeyCode;
using platform::web::VkFromKeyEvent;

TEST(WebInput, KeyCodesNameThePhysicalKeys) {
  EXPECT_EQ(ScancodeFromKeyCode("KeyA"), SC_A);
  EXPECT_EQ(ScancodeFromKeyCode("KeyZ"), SC_Z);
  EXPECT_EQ(ScancodeFromKeyCode("Digit1"), SC_1);
  EXPECT_EQ(ScancodeFromKeyCode("Digit9"), SC_9);
  EXPECT_EQ(ScancodeFromKeyCode("Digit0"), SC_0);
  EXPECT_EQ(ScancodeFromKeyCode("Numpad1"), SC_KP_1);
  EXPECT_EQ(ScancodeFromKeyCode("Numpad0"), SC_KP_0);
  EXPECT_EQ(ScancodeFromKeyCode("F1"), SC_F1);
  EXPECT_EQ(ScancodeFromKeyCode("F12"), SC_F12);
  EXPECT_EQ(ScancodeFromKeyCode("F13"), SC_F13);
  EXPECT_EQ(ScancodeFromKeyCode("Enter"), SC_RETURN);
  EXPECT_EQ(ScancodeFromKeyCode("NumpadEnter"), SC_KP_ENTER);
  EXPECT_EQ(ScancodeFromKeyCode("Space"), SC_SPACE);
  EXPECT_EQ(ScancodeFromKeyCode("Backquote"), SC_GRAVE);
  EXPECT_EQ(ScancodeFromKeyCode("ArrowLeft"), SC_LEFT);
  EXPECT_EQ(ScancodeFromKeyCode("ArrowRight"), SC_RIGHT);
  EXPECT_EQ(ScancodeFromKeyCode("ShiftRight"), SC_RSHIFT);
  EXPECT_EQ(ScancodeFromKeyCode("ControlLeft"), SC_LCTRL);
}

TEST(WebInput, UnknownOrMalformedKeyCodesAreNoKey) {
  for (const char* code : {"", "Key", "KeyAA", "Keya", "Digit", "Digit10", "F0", "F25", "F1x",
                           "Numpad", "Fn", "Unidentified", "enter"}) {
    EXPECT_EQ(ScancodeFromKeyCode(code), 0) << code;
  }
}

TEST(WebInput, LettersFollowTheLayoutAndOtherKeysTheirPlace) {
  // AZERTY: the key in QWERTY's A place types 'q', and Windows calls it VK 'Q'.
  EXPECT_EQ(VkFromKeyEvent("q", SC_A), 'Q');
  EXPECT_EQ(VkFromKeyEvent("Q", SC_A), 'Q');  // with Shift
  // A Russian layout: the letters go by their place, as Windows reports them.
  EXPECT_EQ(VkFromKeyEvent("ф", SC_A), 'A');
  EXPECT_EQ(VkFromKeyEvent("Ж", SC_SEMICOLON), VK_OEM_1);
  // Shifted digits keep their digit; keypad digits stay keypad keys.
  EXPECT_EQ(VkFromKeyEvent("!", SC_1), '1');
  EXPECT_EQ(VkFromKeyEvent("0", SC_0), '0');
  EXPECT_EQ(VkFromKeyEvent("7", SC_KP_7), VK_NUMPAD7);
  // AZERTY's digit row types '&' unshifted: the key is still '1'.
  EXPECT_EQ(VkFromKeyEvent("&", SC_1), '1');
  EXPECT_EQ(VkFromKeyEvent("Enter", SC_RETURN), VK_RETURN);
  EXPECT_EQ(VkFromKeyEvent("ArrowLeft", SC_LEFT), VK_LEFT);
  EXPECT_EQ(VkFromKeyEvent(" ", SC_SPACE), VK_SPACE);
  EXPECT_EQ(VkFromKeyEvent("`", SC_GRAVE), VK_OEM_3);
  EXPECT_EQ(VkFromKeyEvent("Unidentified", 0), 0);
}

TEST(WebInput, TheAddressNamesTheEditorOnlyAsAKey) {
  EXPECT_TRUE(QueryHas("edit", "edit"));
  EXPECT_TRUE(QueryHas("edit=1", "edit"));
  EXPECT_TRUE(QueryHas("lang=ru&edit", "edit"));
  EXPECT_TRUE(QueryHas("edit&lang=ru", "edit"));
  EXPECT_FALSE(QueryHas("", "edit"));
  EXPECT_FALSE(QueryHas("editor", "edit"));
  EXPECT_FALSE(QueryHas("noedit", "edit"));
  EXPECT_FALSE(QueryHas("mode=edit", "edit"));
}

TEST(WebInput, TheAddressGivesTheLanguageAsAValue) {
  EXPECT_EQ(QueryValue("lang=en", "lang"), "en");
  EXPECT_EQ(QueryValue("edit&lang=ru", "lang"), "ru");
  EXPECT_EQ(QueryValue("lang=en&lang=ru", "lang"), "en");
  EXPECT_EQ(QueryValue("lang", "lang"), "");
  EXPECT_EQ(QueryValue("language=en", "lang"), "");
  EXPECT_EQ(QueryValue("", "lang"), "");
}

// Two readings of a pad's buttons give the key events the native driver posts for them.
TEST(WebInput, GamepadButtonsThatActAsKeysComeAsKeyEvents) {
  auto bits = [](std::initializer_list<GamepadButton> b) {
    uint32_t out = 0;
    for (GamepadButton x : b) out |= 1u << x;
    return out;
  };
  auto keys = [](const std::vector<PadKey>& v) {
    std::vector<std::pair<int, bool>> out;
    for (const PadKey& k : v) out.emplace_back(k.vk, k.down);
    return out;
  };
  using V = std::vector<std::pair<int, bool>>;
  EXPECT_EQ(keys(PadKeyChanges(0, bits({kPadA}))), (V{{VK_GAMEPAD_A, true}}));
  EXPECT_EQ(keys(PadKeyChanges(bits({kPadA}), 0)), (V{{VK_GAMEPAD_A, false}}));
  EXPECT_EQ(keys(PadKeyChanges(bits({kPadA}), bits({kPadA, kPadB}))), (V{{VK_GAMEPAD_B, true}}));
  EXPECT_EQ(keys(PadKeyChanges(0, bits({kPadStart, kPadBack}))),
            (V{{VK_GAMEPAD_MENU, true}, {VK_GAMEPAD_VIEW, true}}));
  // Held buttons and the buttons that are no keys (the stick's directions are read as state).
  EXPECT_TRUE(PadKeyChanges(bits({kPadB}), bits({kPadB})).empty());
  EXPECT_TRUE(PadKeyChanges(0, bits({kPadX, kPadY, kPadLeft, kPadUp, kPadLeftShoulder})).empty());
}
