// The data-file opener checks what a name is before it opens it: a pipe or a device is never
// opened (opening has effects of its own on some), a regular file is.
#include "platform/data_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "support/scratch_dir.h"

namespace {
// True when `watch` saw the file opened since the last call.
bool SawOpen(int watch) {
  char buf[4096];
  bool opened = false;
  for (;;) {
    const ssize_t n = ::read(watch, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
      opened = opened || (e->mask & IN_OPEN) != 0;
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return opened;
}
}  // namespace

TEST(DataFile, APipeIsRefusedWithoutBeingOpened) {
  ScratchDir dir("kx_df");
  const std::string fifo = dir / "lev1.lev", file = dir / "lev2.lev";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::ofstream(file) << "1\r\n";
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  ASSERT_GE(::inotify_add_watch(watch, file.c_str(), IN_OPEN), 0);

  platform::DataFile f;
  EXPECT_FALSE(f.Open(fifo));
  EXPECT_EQ(f.Error(), platform::kNotRegularFile);
  EXPECT_FALSE(SawOpen(watch)) << "the pipe was opened before it was refused";
  EXPECT_FALSE(f.Open(dir.Path().string()));
  EXPECT_EQ(f.Error(), EISDIR);
  EXPECT_FALSE(f.Open(dir / "none"));
  EXPECT_EQ(f.Error(), ENOENT);
  ASSERT_TRUE(f.Open(file));  // a regular file is opened (and the watch sees it)
  EXPECT_EQ(f.Size(), 3u);
  EXPECT_TRUE(SawOpen(watch));
  ::close(watch);
}
