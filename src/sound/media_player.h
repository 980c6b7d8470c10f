// The music player: opens one music file on the platform's music back-end, plays it, closes it,
// and reports the end of a play on the window thread through OnNotify.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "toolkit/classes.h"
#include "toolkit/errors.h"

class TApplication;

// Raised by Open when the back-end cannot open the file (its text, or "Unknown error code") and
// by Play/Stop without an open device ("No MCI device open").
KX_DECLARE_ERROR(EMCIDeviceError, Exception);

// The kind of the last end-of-play notification.
enum TMPNotifyValues { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

// Notification codes carried in Event::code of a MusicFinished event (the low four bits; the
// player's serial number sits above them). Code 0 is the back-end's own "piece finished".
constexpr int MCI_NOTIFY_SUCCESSFUL = 1;
constexpr int MCI_NOTIFY_SUPERSEDED = 2;
constexpr int MCI_NOTIFY_ABORTED = 4;
constexpr int MCI_NOTIFY_FAILURE = 8;

// The notifications travel as MusicFinished events through the window thread's message loop: the
// player hooks itself into the Application's event hooks when one exists; a loop of one's own
// can hand the events to TMediaPlayer::DispatchEvent instead.
class TMediaPlayer : public TComponent {
 public:
  explicit TMediaPlayer(TComponent* owner);
  // Closes an open device (its pending play is reported as aborted to nobody).
  ~TMediaPlayer() override;
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  // The file Open opens, as stored ('\' separators allowed; they are mapped to '/').
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }
  // Play from the start when the position stands at the end (default true).
  bool AutoRewind() const { return autoRewind_; }
  void SetAutoRewind(bool on) { autoRewind_ = on; }
  // Stored only: the game never opens automatically and never shares the device.
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool on) { autoOpen_ = on; }
  bool Shareable() const { return shareable_; }
  void SetShareable(bool on) { shareable_ = on; }
  // Loudness in percent of the recording (0..100, clamped; default 100), handed to the back-end
  // at once and kept for every later play.
  int Volume() const { return volume_; }
  void SetVolume(int percent);

  // Closes an open device, then opens FileName; raises EMCIDeviceError on failure.
  void Open();
  // Plays from the current position (from the start when at the end) and asks for a
  // notification at its end; raises EMCIDeviceError "No MCI device open" without a device.
  // A back-end failure is stored in Error/ErrorMessage, not raised.
  void Play();
  // Stops playing, keeping the position; a pending play is reported as aborted.
  // Raises EMCIDeviceError "No MCI device open" without a device.
  void Stop();
  // Closes the device (nothing without one); a pending play is reported as aborted.
  void Close();

  // Identifier of the open device; 0 when none.
  int DeviceID() const { return deviceId_; }
  // Code of the last failed command (0 after a successful one) and its text.
  int Error() const { return error_; }
  const std::string& ErrorMessage() const { return errorMessage_; }
  // Kind of the last notification delivered.
  TMPNotifyValues NotifyValue() const { return notifyValue_; }
  // True while a play that asked for a notification has not been reported yet.
  bool NotifyPending() const { return pending_; }

  // Called on the window thread for every notification delivered to this player.
  std::function<void(TMediaPlayer* sender)> OnNotify;

  // Hands one MusicFinished event to the player it belongs to (the message loop calls this on
  // the window thread). Returns true when a player took it and fired OnNotify.
  static bool DispatchEvent(const platform::Event& e);

 protected:
  // Records the kind and fires OnNotify.
  virtual void Notify(TMPNotifyValues kind);

 private:
  bool Deliver(int kindCode);
  void PostNotify(int kindCode);
  void RequireDevice() const;
  void StoreError(bool ok, const std::string& message);

  std::string fileName_;
  bool autoRewind_ = true;
  int volume_ = 100;
  bool autoOpen_ = false;
  bool shareable_ = false;
  int deviceId_ = 0;
  int error_ = 0;
  std::string errorMessage_;
  TMPNotifyValues notifyValue_ = nvSuccessful;
  bool pending_ = false;     // a play asked for a notification that has not come yet
  bool endReached_ = false;  // the last play ran to the end of the file
  int serial_;
  TApplication* hookedApp_ = nullptr;  // the application whose event hooks hold ours
  int hookId_ = 0;
};

// The stored path with every '\' turned into '/'.
std::string NativePath(const std::string& stored);

// The game's music file below `workDir`: "music\music.mp3" if that file exists, else
// "music\music.wav" if that one does, else "" (no music). The result is in the stored form.
std::string ChooseMusicFile(const std::string& workDir = ".");
