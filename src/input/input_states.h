// The logical input states the game reads once per frame: four directions and 32 buttons, kept as
// bits 0..35 of a 5-byte set (bit n lives in byte n / 8), the layout the window resources use.
#pragma once

#include <cstdint>

enum TInputState : uint8_t {
  isUp,
  isDown,
  isLeft,
  isRight,
  isButton1,
  isButton2,
  isButton3,
  isButton4,
  isButton5,
  isButton6,
  isButton7,
  isButton8,
  isButton9,
  isButton10,
  isButton11,
  isButton12,
  isButton13,
  isButton14,
  isButton15,
  isButton16,
  isButton17,
  isButton18,
  isButton19,
  isButton20,
  isButton21,
  isButton22,
  isButton23,
  isButton24,
  isButton25,
  isButton26,
  isButton27,
  isButton28,
  isButton29,
  isButton30,
  isButton31,
  isButton32,
};

// Number of states in a set (0 .. 35).
constexpr int kInputStateCount = 36;
// Bytes a set occupies.
constexpr int kInputStateBytes = 5;

// The state of button `n` (1 .. 32).
constexpr TInputState InputButton(int n) { return static_cast<TInputState>(isButton1 + n - 1); }

// A set of input states. Values outside 0 .. 35 are never members and are ignored on writes.
class TInputStates {
 public:
  // The empty set.
  constexpr TInputStates() = default;

  // True when `s` is in the set.
  constexpr bool Contains(int s) const {
    return s >= 0 && s < kInputStateCount && (bytes_[s >> 3] >> (s & 7)) & 1;
  }
  // Adds `s`.
  constexpr void Include(int s) {
    if (s >= 0 && s < kInputStateCount) bytes_[s >> 3] |= static_cast<uint8_t>(1u << (s & 7));
  }
  // Removes `s`.
  constexpr void Exclude(int s) {
    if (s >= 0 && s < kInputStateCount) bytes_[s >> 3] &= static_cast<uint8_t>(~(1u << (s & 7)));
  }
  // Empties the set.
  constexpr void Clear() {
    for (auto& b : bytes_) b = 0;
  }
  // True when no state is in the set.
  constexpr bool Empty() const {
    for (auto b : bytes_)
      if (b) return false;
    return true;
  }
  // Adds every state of `other`.
  constexpr TInputStates& operator|=(const TInputStates& other) {
    for (int i = 0; i < kInputStateBytes; ++i) bytes_[i] |= other.bytes_[i];
    return *this;
  }
  // Same members.
  constexpr bool operator==(const TInputStates& other) const {
    for (int i = 0; i < kInputStateBytes; ++i)
      if (bytes_[i] != other.bytes_[i]) return false;
    return true;
  }
  // Byte `i` (0 .. 4) of the stored form; byte 4 only ever uses its low four bits.
  constexpr uint8_t Byte(int i) const { return bytes_[i]; }

 private:
  uint8_t bytes_[kInputStateBytes] = {};
};
