// Update runs every frame and must not touch the heap. This file replaces the global operator
// new for the whole test program to count allocations; counting is only switched on around the
// code under watch.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include "input/dxinput.h"
#include "input_fixture.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

long CountAllocations(const std::function<void()>& f) {
  g_allocations = 0;
  g_counting = true;
  f();
  g_counting = false;
  return g_allocations.load();
}

}  // namespace

TEST(AllocationCounter, SeesAnAllocation) {
  // The counter itself works: a vector's growth is counted.
  long n = CountAllocations([] {
    std::vector<int> v;
    v.push_back(1);
  });
  EXPECT_GE(n, 1);
}

TEST_F(InputTest, UpdateAllocatesNothing) {
  int pad = PlugPad(8, true);
  hl.keyboard->Press('A');
  hl.keyboard->Press(platform::VK_SPACE);
  hl.keyboard->PressScancode(platform::SC_GRAVE);
  input->Update();  // the joystick is found outside the counted part
  long n = CountAllocations([&] {
    for (int frame = 0; frame < 200; ++frame) {
      hl.joysticks->SetAxes(pad, frame * 300 - 30000, 20000 - frame * 200);
      hl.joysticks->SetButtons(pad, static_cast<uint32_t>(frame));
      input->Update();
    }
  });
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(input->States().Contains(isLeft));
  // The window-system path too, and a background frame.
  input->SetUseDirectInput(false);
  input->Update();
  n = CountAllocations([&] {
    for (int frame = 0; frame < 50; ++frame) input->Update();
    hl.video->SetForeground(false);
    input->Update();
  });
  EXPECT_EQ(n, 0);
}
