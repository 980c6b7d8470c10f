// The music player on the headless music back-end, with notices delivered by the message loop.
#include "sound/media_player.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/headless_env.h"
#include "support/scratch_dir.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"

namespace fs = std::filesystem;

namespace {

// A scratch working directory with a music folder; the process works inside it while it lives.
class MusicDir {
 public:
  MusicDir() {
    fs::create_directories(root_ / "music");
    old_ = fs::current_path();
  }
  ~MusicDir() {
    std::error_code ec;
    fs::current_path(old_, ec);
  }
  void Add(const char* name) { std::ofstream(root_ / "music" / name) << "not really music"; }
  void Enter() { fs::current_path(root_); }
  std::string Root() const { return root_.string(); }

 private:
  ScratchDir scratch_{"kx_music"};
  fs::path root_ = scratch_.Path(), old_;
};

class MediaPlayerTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    app.emplace();
    form = new TForm(nullptr);
    m = new TMediaPlayer(form);
    m->Name = "m";
    // The game's handler: restart while music is wanted.
    m->OnNotify = [this](TMediaPlayer* sender) {
      ++notices;
      kinds.push_back(sender->NotifyValue());
      if (musicOn) sender->Play();
    };
    dir.Add("music.mp3");
    dir.Enter();
    m->SetFileName("music\\music.mp3");
  }
  void TearDown() override {
    app.reset();
    HeadlessTest::TearDown();
  }
  const std::vector<std::string>& Log() const { return hl.music->Log(); }

  MusicDir dir;
  std::optional<TApplicationScope> app;
  TForm* form = nullptr;
  TMediaPlayer* m = nullptr;
  bool musicOn = true;
  int notices = 0;
  std::vector<TMPNotifyValues> kinds;
};

TEST(MusicChoice, TheMp3FileWinsOverTheWaveFile) {
  MusicDir both;
  both.Add("music.wav");
  EXPECT_EQ(ChooseMusicFile(both.Root()), "music\\music.wav");
  both.Add("music.mp3");
  EXPECT_EQ(ChooseMusicFile(both.Root()), "music\\music.mp3");
  MusicDir none;
  EXPECT_EQ(ChooseMusicFile(none.Root()), "");
  EXPECT_EQ(NativePath("music\\music.mp3"), "music/music.mp3");
  EXPECT_EQ(NativePath("a/b\\c"), "a/b/c");
}

TEST_F(MediaPlayerTest, WithBothFilesPresentOnlyTheMp3IsOpened) {
  dir.Add("music.wav");
  m->SetFileName(ChooseMusicFile());
  m->Open();
  m->Play();
  EXPECT_EQ(Log(), (std::vector<std::string>{"Open music/music.mp3", "Play 0"}));
  EXPECT_NE(m->DeviceID(), 0);
  EXPECT_EQ(hl.music->OpenPath(), "music/music.mp3");
}

TEST_F(MediaPlayerTest, OpenFailureRaisesTheBackEndsText) {
  m->SetFileName("music\\missing.mp3");
  try {
    m->Open();
    FAIL() << "opened a missing file";
  } catch (const EMCIDeviceError& e) {
    EXPECT_EQ(e.Message(), "The specified file was not found: music/missing.mp3");
  }
  EXPECT_EQ(m->DeviceID(), 0);
  EXPECT_NE(m->Error(), 0);
}

// A back-end that fails without saying why.
class MuteMusic : public platform::Music {
 public:
  bool Open(const std::string&, std::string&) override { return false; }
  void Close() override {}
  bool IsOpenFile() const override { return false; }
  bool Play(uint32_t, std::string&) override { return false; }
  void Stop() override {}
  bool Playing() const override { return false; }
  uint32_t LengthMs() const override { return 0; }
  uint32_t PositionMs() const override { return 0; }
};

TEST_F(MediaPlayerTest, AFailureWithoutTextIsAnUnknownErrorCode) {
  platform::Get().music = std::make_unique<MuteMusic>();
  hl.music = nullptr;
  try {
    m->Open();
    FAIL() << "opened on a back-end that fails";
  } catch (const EMCIDeviceError& e) {
    EXPECT_EQ(e.Message(), "Unknown error code");
  }
}

TEST_F(MediaPlayerTest, PlayAndStopNeedAnOpenDevice) {
  try {
    m->Play();
    FAIL() << "played without a device";
  } catch (const EMCIDeviceError& e) {
    EXPECT_EQ(e.Message(), "No MCI device open");
  }
  EXPECT_THROW(m->Stop(), EMCIDeviceError);
  EXPECT_NO_THROW(m->Close());  // nothing to close: nothing happens
  EXPECT_TRUE(Log().empty());
}

TEST_F(MediaPlayerTest, OpenClosesAnOpenDeviceFirst) {
  m->Open();
  const int first = m->DeviceID();
  m->Open();
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"Open music/music.mp3", "Close", "Open music/music.mp3"}));
  EXPECT_NE(m->DeviceID(), first);
}

TEST_F(MediaPlayerTest, TheEndOfThePieceRestartsItFromTheBeginningOnTheWindowThread) {
  hl.music->SetLengthMs(5000);
  m->Open();
  m->Play();
  hl.clock->Advance(5000);
  // The back-end reports the end from its own thread; nothing may run there.
  std::thread mixer([this] { hl.music->Finish(); });
  mixer.join();
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(Log().back(), "Play 0");
  EXPECT_EQ(Log().size(), 2u);

  Application->ProcessMessages();
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(m->NotifyValue(), nvSuccessful);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Open music/music.mp3", "Play 0", "Play 0"}));
  EXPECT_TRUE(m->NotifyPending());

  // And again: every end restarts it.
  hl.clock->Advance(5000);
  hl.music->Finish();
  Application->ProcessMessages();
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(Log().size(), 4u);
  EXPECT_EQ(Log().back(), "Play 0");
}

TEST_F(MediaPlayerTest, PlayAfterAStopGoesOnWherePlayAfterTheEndStartsAgain) {
  m->Open();
  m->Play();
  hl.clock->Advance(1500);
  m->Stop();
  m->Play();
  EXPECT_EQ(Log().back(), "Play 1500");
  hl.clock->Advance(200000);
  m->Stop();  // the position stands at the end
  m->Play();
  EXPECT_EQ(Log().back(), "Play 0");
}

TEST_F(MediaPlayerTest, ANoticeAfterTheStopForANewRecordDoesNotRestartTheMusic) {
  m->Open();
  m->Play();
  hl.clock->Advance(3000);
  // New record: the flag goes first, then the device is closed.
  musicOn = false;
  m->Close();
  EXPECT_EQ(m->DeviceID(), 0);
  // The back-end's own end notice comes in late as well.
  hl.music->Finish();
  Application->ProcessMessages();
  EXPECT_EQ(notices, 1);
  ASSERT_EQ(kinds.size(), 1u);
  EXPECT_EQ(kinds[0], nvAborted);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Open music/music.mp3", "Play 0", "Close"}));

  // The name is confirmed: reopened, played from the beginning, looping again.
  m->Open();
  m->Play();
  musicOn = true;
  EXPECT_EQ(Log().back(), "Play 0");
  Application->ProcessMessages();
  EXPECT_EQ(notices, 1);  // nothing stale reaches the handler
  hl.clock->Advance(180000);
  hl.music->Finish();
  Application->ProcessMessages();
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(Log().back(), "Play 0");
}

TEST_F(MediaPlayerTest, AStopIsReportedAsAbortedAndNotRestartedWhileMusicIsOff) {
  m->Open();
  m->Play();
  musicOn = false;
  m->Stop();
  EXPECT_FALSE(m->NotifyPending());
  EXPECT_EQ(notices, 0);  // not inside Stop: through the message loop
  Application->ProcessMessages();
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(m->NotifyValue(), nvAborted);
  EXPECT_EQ(Log().back(), "Stop");
}

TEST_F(MediaPlayerTest, AStaleEndNoticeDoesNotTouchANewPlay) {
  hl.music->SetLengthMs(4000);
  m->Open();
  m->Play();
  hl.clock->Advance(4000);
  hl.music->Finish();  // queued, not yet handled ...
  m->Play();           // ... when the game plays again
  const size_t before = Log().size();
  Application->ProcessMessages();
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(Log().size(), before);
  EXPECT_TRUE(m->NotifyPending());
}

TEST_F(MediaPlayerTest, PlayingAgainWhileAPlayIsPendingDoesNotLoopOnNotices) {
  m->Open();
  m->Play();
  m->Play();
  Application->ProcessMessages();
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(Log().size(), 3u);
}

TEST_F(MediaPlayerTest, DestroyingThePlayerClosesTheDevice) {
  m->Open();
  m->Play();
  delete m;
  m = nullptr;
  EXPECT_EQ(Log().back(), "Close");
  EXPECT_NO_THROW(Application->ProcessMessages());  // its aborted notice finds nobody
  EXPECT_EQ(notices, 0);
}

TEST_F(MediaPlayerTest, ALoopOfOnesOwnCanDispatchTheEvents) {
  m->Open();
  m->Play();
  hl.music->Finish();
  platform::Event e;
  ASSERT_TRUE(hl.events->Poll(e));
  EXPECT_EQ(e.kind, platform::EventKind::MusicFinished);
  EXPECT_TRUE(TMediaPlayer::DispatchEvent(e));
  EXPECT_EQ(notices, 1);
  EXPECT_FALSE(TMediaPlayer::DispatchEvent(e));  // the same notice again is stale
  platform::Event other;
  other.kind = platform::EventKind::KeyDown;
  EXPECT_FALSE(TMediaPlayer::DispatchEvent(other));
  EXPECT_EQ(notices, 1);
}

}  // namespace
