#include "game/replay_recorder.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "display/imagelist.h"
#include "game/data_paths.h"
#include "game/game_sprites.h"
#include "game/globals.h"
#include "game/main_form.h"
#include "game/safe_file.h"
#include "game/settings.h"
#include "toolkit/random.h"
#include "toolkit/translate.h"

namespace fs = std::filesystem;

namespace replay {

// ---------------------------------------------------------------------------------------------
// The state hash: FNV-1a over the values, in a fixed order.

namespace {

struct Hasher {
  uint64_t h = 14695981039346656037ull;
  void Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
  void Int(int64_t v) { Bytes(&v, sizeof v); }
  // Doubles by their bits: the same rules on the same input give the very same numbers. (memcpy,
  // not std::bit_cast, which the browser build's library lacks.)
  void Real(double v) {
    int64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    Int(bits);
  }
  void Text(const std::string& s) {
    Int(static_cast<int64_t>(s.size()));
    Bytes(s.data(), s.size());
  }
};

void HashSprite(Hasher& h, const TSprite* s) {
  int kind = 0;
  if (auto* p = dynamic_cast<const TPlayerSprite*>(s)) {
    kind = 1;
    (void)p;
  } else if (auto* b = dynamic_cast<const TsharSprite*>(s)) {
    kind = 2;
    h.Real(b->Angle);
  } else if (auto* m = dynamic_cast<const TMonoSprite*>(s)) {
    kind = 3;
    h.Int(m->BrickType);
    h.Int(m->BrickFrame);
    h.Int(m->BrickTick);
  } else if (auto* bon = dynamic_cast<const TBonSprite*>(s)) {
    kind = 4;
    h.Int(bon->BonusKind);
    h.Real(bon->FallSpeed);
  } else if (auto* pul = dynamic_cast<const TPulSprite*>(s)) {
    kind = 5;
    h.Int(pul->GunMode);
  }
  h.Int(kind);
  h.Int(s->IsDead());
  h.Int(s->Z());
  h.Real(s->X);
  h.Real(s->Y);
  h.Int(s->Width);
  h.Int(s->Height);
  if (auto* img = dynamic_cast<const TImageSprite*>(s))
    h.Text(img->Image != nullptr ? img->Image->Name() : std::string());
  for (int32_t i = 0; i < s->ChildCount(); ++i) HashSprite(h, s->Child(i));
}

}  // namespace

uint64_t GameStateHash() {
  Hasher h;
  for (int64_t v :
       {int64_t{GameState},   int64_t{Score},        int64_t{Lives},        int64_t{Level},
        int64_t{BallsInPlay}, int64_t{BrickCount},   int64_t{BricksBroken}, int64_t{PaddleSize},
        int64_t{BallKind},    int64_t{BallX},        int64_t{BallY},        int64_t{BlastCount},
        int64_t{LoseBall},    int64_t{ReturnToMenu}, int64_t{CheatMode},    int64_t{SkipLevel},
        int64_t{PierceMode},  int64_t{GunArmed},     int64_t{GunReady},     int64_t{RandSeed()}})
    h.Int(v);
  h.Real(PaddleX);
  h.Real(PaddleY);
  h.Real(BallSpeed);
  if (MainForm != nullptr) HashSprite(h, MainForm->DXSpriteEngine->Engine());
  return h.h;
}

// ---------------------------------------------------------------------------------------------
// The folder

namespace {
const char kIndexName[] = "records.idx";
const char kExtension[] = ".kbr";
}  // namespace

std::string ReplayFolder(const std::string& levelFolder) {
  const std::string base = game::PlayerDataDir();
  if (base.empty()) return {};
  std::string folder = base + "/replays";
  if (!levelFolder.empty()) {
    std::string name = fs::path(levelFolder).lexically_normal().filename().string();
    if (name.empty()) name = fs::path(levelFolder).lexically_normal().parent_path().filename();
    folder += "/" + (name.empty() ? std::string("set") : name);
  }
  return folder;
}

std::string ReplayName(const std::string& when, int32_t score) {
  std::string stamp = when;
  std::replace(stamp.begin(), stamp.end(), ' ', '_');
  std::replace(stamp.begin(), stamp.end(), ':', '-');
  return stamp + "_" + std::to_string(score) + kExtension;
}

std::vector<std::string> ReadRecordIndex(const std::string& folder) {
  std::vector<std::string> names(5);
  std::ifstream in(folder + "/" + kIndexName);
  for (size_t r = 0; r < 5 && std::getline(in, names[r]); ++r) {
    // A name is a plain file of the folder; anything else is not ours to open.
    if (names[r].find('/') != std::string::npos) names[r].clear();
  }
  return names;
}

void EnterRecord(const std::string& folder, int rank, const std::string& replayName) {
  if (rank < 1 || rank > 5) return;
  std::vector<std::string> names = ReadRecordIndex(folder);
  names.insert(names.begin() + (rank - 1), replayName);
  names.resize(5);
  std::string text;
  for (const std::string& n : names) text += n + "\n";
  game::WriteFileSafely(folder + "/" + kIndexName, text);
}

void PruneReplays(const std::string& folder, size_t keep) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && name.size() > 4 && name.ends_with(kExtension))
      names.push_back(name);
  }
  // Names begin with the date and time: the newest sort last.
  std::sort(names.begin(), names.end());
  if (names.size() <= keep) return;
  const std::vector<std::string> kept = ReadRecordIndex(folder);
  for (size_t i = 0; i + keep < names.size(); ++i) {
    if (std::find(kept.begin(), kept.end(), names[i]) != kept.end()) continue;
    fs::remove(fs::path(folder) / names[i], ec);
  }
}

// ---------------------------------------------------------------------------------------------
// The recorder

TReplayRecorder::TReplayRecorder(Tape& tape, std::string levelFolder)
    : tape_(tape), levelFolder_(std::move(levelFolder)), folder_(ReplayFolder(levelFolder_)) {
  // Whether games can be kept is known before the first one: the menu says so at once.
  std::error_code ec;
  fs::create_directories(folder_, ec);
  notWritable_ =
      folder_.empty() || !fs::is_directory(folder_, ec) || access(folder_.c_str(), W_OK) != 0;
}

std::string TReplayRecorder::MenuNotice() const {
  if (!notice_.empty()) return notice_;
  if (!notWritable_ || noticeShown_) return {};
  return toolkit::Tr("Игры не записываются: папка повторов недоступна для записи.");
}

void TReplayRecorder::GameStarting() {
  if (notWritable_) noticeShown_ = true;
  notice_.clear();
  file_ = ReplayFile{};
  file_.seed = RandSeed();
  file_.cheats = CheatMode;
  file_.mouse = Settings.MouseSensitivity;
  file_.levelFolder = levelFolder_;
  file_.window = MainForm != nullptr && !MainForm->DXDraw->Options().Contains(doFullScreen);
  tape_.StartRecording();
}

void TReplayRecorder::FrameDone() { tape_.FrameDone(tape_.HashDue() ? GameStateHash() : 0); }

void TReplayRecorder::GameEnded() {
  file_.frames = tape_.Frames();
  file_.tape = tape_.StopRecording();
  file_.score = Score;
  file_.level = Level;
  file_.finalHash = GameStateHash();
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  file_.when = when;
  if (MainForm != nullptr) {
    for (const std::string& name : MainForm->PicturesRead) file_.files.push_back(CheckFile(name));
    for (const std::string& name : MainForm->LevelFilesRead) file_.files.push_back(CheckFile(name));
  }
  lastFile_.clear();
  if (notWritable_) return;
  const std::string name = ReplayName(file_.when, file_.score);
  try {
    game::WriteFileSafely(folder_ + "/" + name, EncodeReplay(file_));
    lastFile_ = name;
    PruneReplays(folder_);
  } catch (const std::exception&) {
    // A game that cannot be kept is still played to its end; the menu says so.
    notWritable_ = true;
    noticeShown_ = false;
  }
}

void TReplayRecorder::ScoreEntryClosed(int rank) {
  if (rank < 1 || lastFile_.empty()) return;
  try {
    EnterRecord(folder_, rank, lastFile_);
  } catch (const std::exception&) {
    notWritable_ = true;
    noticeShown_ = false;
  }
}

}  // namespace replay
