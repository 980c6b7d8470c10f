#include "sound/media_player.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "toolkit/application.h"
#include "toolkit/translate.h"

namespace {

// Every live player, so a notification event can find the one it was posted for.
std::vector<TMediaPlayer*>& Players() {
  static std::vector<TMediaPlayer*> players;
  return players;
}

// The platform has one music device; this is the player holding it (the back-end's own
// end-of-piece events belong to it).
TMediaPlayer*& DeviceOwner() {
  static TMediaPlayer* owner = nullptr;
  return owner;
}

int NextSerial() {
  static int serial = 0;
  return ++serial;
}

int NextDeviceId() {
  static int id = 0;
  return ++id;
}

platform::Music& Backend() { return *platform::Get().music; }

}  // namespace

TMediaPlayer::TMediaPlayer(TComponent* owner) : TComponent(owner), serial_(NextSerial()) {
  Players().push_back(this);
  if (Application != nullptr) {
    hookedApp_ = Application;
    hookId_ = Application->AddEventHook(
        [](const platform::Event& e) { return TMediaPlayer::DispatchEvent(e); });
  }
}

TMediaPlayer::~TMediaPlayer() {
  // A pending play's aborted notice would be posted for a player that no longer exists; it is
  // dropped at dispatch because the serial is gone from the registry.
  if (deviceId_ != 0 && platform::Installed()) Close();
  if (DeviceOwner() == this) DeviceOwner() = nullptr;
  std::erase(Players(), this);
  if (hookedApp_ != nullptr && hookedApp_ == Application) Application->RemoveEventHook(hookId_);
}

void TMediaPlayer::RequireDevice() const {
  if (deviceId_ == 0) throw EMCIDeviceError(toolkit::Tr("No MCI device open"));
}

void TMediaPlayer::StoreError(bool ok, const std::string& message) {
  error_ = ok ? 0 : 1;
  errorMessage_ = ok ? std::string() : message;
}

void TMediaPlayer::PostNotify(int kindCode) {
  // Even notices that the player raises itself go through the event queue: the handler must
  // run later, from the message loop, never inside the command that caused it.
  if (!platform::Installed()) return;
  platform::Event e;
  e.kind = platform::EventKind::MusicFinished;
  e.code = serial_ << 4 | kindCode;
  platform::Get().events->Post(e);
}

void TMediaPlayer::Open() {
  Close();
  // Only one player can hold the platform's music device.
  if (DeviceOwner() != nullptr && DeviceOwner() != this) DeviceOwner()->Close();
  std::string message;
  if (!Backend().Open(NativePath(fileName_), message)) {
    StoreError(false, message);
    throw EMCIDeviceError(message.empty() ? std::string(toolkit::Tr("Unknown error code"))
                                          : message);
  }
  StoreError(true, {});
  deviceId_ = NextDeviceId();
  DeviceOwner() = this;
  endReached_ = false;
}

void TMediaPlayer::SetVolume(int percent) {
  volume_ = std::clamp(percent, 0, 100);
  if (platform::Installed() && platform::Get().music) {
    Backend().SetVolume(static_cast<int>(std::lround(128.0 * volume_ / 100.0)));
  }
}

void TMediaPlayer::Play() {
  RequireDevice();
  platform::Music& music = Backend();
  uint32_t from = music.PositionMs();
  if (autoRewind_) {
    // A back-end that cannot tell the length (0) still knows when a play reached the end.
    const uint32_t length = music.LengthMs();
    const bool atEnd = (length > 0 && from >= length) || (endReached_ && !music.Playing());
    if (atEnd) from = 0;
  }
  std::string message;
  const bool ok = music.Play(from, message);
  StoreError(ok, message);
  if (!ok) return;
  endReached_ = false;
  // A play already waiting for its notice simply continues under the new request. Reporting it
  // as superseded would make a handler that answers every notice with Play restart the music
  // on every message, forever.
  pending_ = true;
}

void TMediaPlayer::Stop() {
  RequireDevice();
  Backend().Stop();
  StoreError(true, {});
  if (pending_) {
    pending_ = false;
    PostNotify(MCI_NOTIFY_ABORTED);
  }
}

void TMediaPlayer::Close() {
  if (deviceId_ == 0) return;
  Backend().Close();
  StoreError(true, {});
  deviceId_ = 0;
  endReached_ = false;
  if (DeviceOwner() == this) DeviceOwner() = nullptr;
  if (pending_) {
    pending_ = false;
    PostNotify(MCI_NOTIFY_ABORTED);
  }
}

void TMediaPlayer::Notify(TMPNotifyValues kind) {
  notifyValue_ = kind;
  if (OnNotify) OnNotify(this);
}

bool TMediaPlayer::Deliver(int kindCode) {
  switch (kindCode) {
    case MCI_NOTIFY_SUCCESSFUL:
      Notify(nvSuccessful);
      return true;
    case MCI_NOTIFY_SUPERSEDED:
      Notify(nvSuperseded);
      return true;
    case MCI_NOTIFY_ABORTED:
      Notify(nvAborted);
      return true;
    case MCI_NOTIFY_FAILURE:
      Notify(nvFailure);
      return true;
    default:
      return false;
  }
}

bool TMediaPlayer::DispatchEvent(const platform::Event& e) {
  if (e.kind != platform::EventKind::MusicFinished) return false;
  const int kind = e.code & 0xF;
  if (kind == 0) {
    // The back-end's own "piece finished", posted from its mixer thread. It is stale when the
    // play it reported was already stopped, closed or replaced by a new one that still runs.
    TMediaPlayer* owner = DeviceOwner();
    if (owner == nullptr || !owner->pending_ || Backend().Playing()) return false;
    owner->pending_ = false;
    owner->endReached_ = true;
    return owner->Deliver(MCI_NOTIFY_SUCCESSFUL);
  }
  const int serial = e.code >> 4;
  for (TMediaPlayer* p : Players()) {
    if (p->serial_ == serial) return p->Deliver(kind);
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
std::string NativePath(const std::string& stored) {
  std::string path = stored;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string ChooseMusicFile(const std::string& workDir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const char* name : {"music\\music.mp3", "music\\music.wav"}) {
    if (fs::is_regular_file(fs::path(workDir) / NativePath(name), ec)) return name;
  }
  return {};
}
