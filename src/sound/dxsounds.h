// The sound device component and the wave list: named sound effects played on demand, each
// play on its own copy of the wave's buffer so that plays of one wave overlap.
//
// A wave's samples are converted once into one platform chunk (the main buffer); every copy
// plays that same chunk on a mixer channel of its own, so playing never copies sample data.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "display/hash_collection.h"
#include "platform/platform.h"
#include "sound/wave.h"
#include "toolkit/classes.h"

// Failures of the sound device family: "%s cannot be initialized" with "DirectSound". The
// automatic initialisation swallows this family (no sound device: the game runs silently).
KX_DECLARE_ERROR(EDirectSoundError, Exception);
// Buffer failures: "%s cannot be made" / "%s cannot be locked" with "Sound Buffer", and
// "%s not made" with "IDirectSoundBuffer" for an operation on a wrapper without a platform chunk.
KX_DECLARE_ERROR(EDirectSoundBufferError, EDirectSoundError);
// Failures that the automatic initialisation lets through: "Form not found",
// "%s cannot be made" with "Primary Buffer".
KX_DECLARE_ERROR(EDXSoundError, Exception);
// A wave name that is not in the list: "Wave '%s' not found".
KX_DECLARE_ERROR(EWaveCollectionError, EHashCollectionError);

class TDirectSound;
class TCustomDXSound;
class TWaveCollection;

// ---------------------------------------------------------------------------------------------
// One platform chunk shared by a main buffer and its copies; freed when the last user goes.
struct TSoundChunk {
  platform::ChunkId id = 0;
  TDirectSound* device = nullptr;
  size_t bytes = 0;
  uint32_t durationMs = 0;
  ~TSoundChunk();
};

// A sound buffer on the device: a main buffer holds a converted wave, a copy shares a main
// buffer's chunk. Either plays on at most one mixer channel at a time.
class TDirectSoundBuffer {
 public:
  // Made by TDirectSound::CreateBuffer only.
  explicit TDirectSoundBuffer(TDirectSound* device) : device_(device) {}
  // Stops its channel and lets go of the chunk.
  ~TDirectSoundBuffer();
  TDirectSoundBuffer(const TDirectSoundBuffer&) = delete;
  TDirectSoundBuffer& operator=(const TDirectSoundBuffer&) = delete;

  // Converts the wave into a new platform chunk (replacing the old one). Raises
  // EDirectSoundBufferError "Sound Buffer cannot be made" when the format is not one the
  // back-end can play or the back-end refuses.
  void LoadFromWave(const TWave& wave);
  // Shares `source`'s chunk; false when `source` has none.
  bool Duplicate(const TDirectSoundBuffer& source);
  // True when a platform chunk is held.
  bool Made() const { return chunk_ != nullptr; }
  // The chunk's id (0 when none).
  platform::ChunkId ChunkId() const { return chunk_ ? chunk_->id : 0; }
  // Play time of the chunk in milliseconds (0 when none).
  uint32_t DurationMs() const { return chunk_ ? chunk_->durationMs : 0; }

  // Starts the chunk on a channel of its own (from its beginning). Raises EDirectSoundBufferError
  // "IDirectSoundBuffer not made" without a chunk; a play the mixer has no channel for (at its
  // bound, with no copy of the same wave to cut) stays silent.
  void Play(bool looped);
  // Stops the channel (if it still belongs to this buffer).
  void Stop();
  // Only position 0 exists on the platform: every play starts from the beginning.
  void SetPosition(uint32_t position) { (void)position; }
  // Status: sounding (once or looping) on a channel that is still its own.
  bool Playing();
  bool Looping();
  // The mixer channel in use, -1 when none.
  int Channel() const { return channel_; }

  // Frequency (0 = the wave's own rate), pan (0 = centre; -10000 .. 10000) and volume
  // (hundredths of a decibel of attenuation, 0 = full .. -10000 = silent). The back-end plays at
  // the chunk's own rate and centred; volume is applied to the channel.
  int Frequency() const { return frequency_; }
  void SetFrequency(int hz) { frequency_ = hz; }
  int Pan() const { return pan_; }
  void SetPan(int pan) { pan_ = pan; }
  int Volume() const { return volume_; }
  void SetVolume(int volume);

 private:
  friend class TDirectSound;
  TDirectSound* device_;
  std::shared_ptr<TSoundChunk> chunk_;
  int channel_ = -1;
  bool looped_ = false;
  int frequency_ = 0, pan_ = 0, volume_ = 0;
};

// The opened sound device. Tracks which buffer each mixer channel belongs to, so a finished
// copy never mistakes another wave's later play on the same channel for its own.
class TDirectSound {
 public:
  // Opens the platform audio device; raises EDirectSoundError "DirectSound cannot be
  // initialized" when there is none.
  TDirectSound();
  // Releases every buffer still made on it, then closes the device.
  ~TDirectSound();
  TDirectSound(const TDirectSound&) = delete;
  TDirectSound& operator=(const TDirectSound&) = delete;

  // A new empty buffer owned by the device.
  TDirectSoundBuffer* CreateBuffer();
  // Frees a buffer made by CreateBuffer (nothing for null or a foreign pointer).
  void FreeBuffer(TDirectSoundBuffer* buffer);
  // Number of buffers alive on the device.
  int BufferCount() const { return static_cast<int>(buffers_.size()); }
  platform::Audio& Audio() const { return *platform::Get().audio; }

 private:
  friend class TDirectSoundBuffer;
  void ClaimChannel(int channel, TDirectSoundBuffer* owner);
  void ReleaseChannel(int channel, const TDirectSoundBuffer* owner);
  bool OwnsChannel(int channel, const TDirectSoundBuffer* owner) const;

  std::vector<std::unique_ptr<TDirectSoundBuffer>> buffers_;
  std::map<int, TDirectSoundBuffer*> channelOwner_;
};

// ---------------------------------------------------------------------------------------------
// Notice codes of the sound component to its listeners.
enum TDXSoundNotifyType {
  dsntDestroying,    // 0: the component is being destroyed
  dsntInitializing,  // 1: initialisation starts
  dsntInitialize,    // 2: initialised
  dsntFinalize,      // 3: finalising
  dsntRestore        // 4: buffers must be (re)loaded
};

// A listener callback: (target, sound component, notice code).
using TDXSoundNotifyEvent = void (*)(void* target, TCustomDXSound* sender, TDXSoundNotifyType code);

enum TDXSoundOption { soGlobalFocus, soStickyFocus, soExclusive };
using TDXSoundOptions = uint32_t;  // bit (1 << option)

class TCustomDXSound : public TComponent {
 public:
  explicit TCustomDXSound(TComponent* owner);
  // Finalises, then tells every listener it is destroying.
  ~TCustomDXSound() override;

  // Initialise when the form resource has been read (default true).
  bool AutoInitialize = true;
  // Focus and cooperative-level options (only stored: the platform mixes for every window).
  TDXSoundOptions Options() const { return options_; }
  void SetOptions(TDXSoundOptions options) { options_ = options; }
  // Event hooks; none is used by the game.
  TNotifyEvent OnInitializing, OnInitialize, OnFinalize, OnRestore;

  // Opens the device and tells the listeners (initializing, initialized, restore). Raises
  // EDXSoundError "Form not found" without an owning form, EDirectSoundError without a device.
  void Initialize();
  // Tells the listeners (finalizing), then closes the device; nothing when no device exists.
  void Finalize();
  // Tells the listeners to reload their buffers (restore) and fires OnRestore.
  void Restore();
  // True while the device is open.
  bool Initialized() const { return initialized_; }
  // The device (null when not initialised).
  TDirectSound* DSound() const { return dsound_.get(); }

  // Adds a listener (an identical registration is removed first); an initialised component
  // sends it initialized and restore at once.
  void RegisterNotifyEvent(TDXSoundNotifyEvent callback, void* target);
  // Removes a listener; an initialised component sends it finalizing first.
  void UnRegisterNotifyEvent(TDXSoundNotifyEvent callback, void* target);
  // Number of registered listeners.
  int ListenerCount() const { return static_cast<int>(listeners_.size()); }

  // Initialises when AutoInitialize is set, swallowing the device family's failures.
  void Loaded() override;

 private:
  void Broadcast(TDXSoundNotifyType code);

  struct Listener {
    TDXSoundNotifyEvent callback;
    void* target;
  };
  std::vector<Listener> listeners_;
  std::unique_ptr<TDirectSound> dsound_;
  TDXSoundOptions options_ = 0;
  bool initialized_ = false;
  bool calledDoInitialize_ = false;
  bool deviceExists_ = false;
  bool restoring_ = false;
};

// The published form of the sound component.
class TDXSound : public TCustomDXSound {
 public:
  using TCustomDXSound::TCustomDXSound;
};

// ---------------------------------------------------------------------------------------------
class TWaveCollectionItem : public THashCollectionItem {
 public:
  TWaveCollectionItem() = default;
  // Frees its buffers.
  ~TWaveCollectionItem() override;

  // The wave repeats until stopped. Changing it stops every copy first.
  bool Looped() const { return looped_; }
  void SetLooped(bool on);
  // Most copies that may sound at once (0 = no limit; negative values are stored as 0).
  // Changing it frees every copy.
  int MaxPlayingCount() const { return maxPlayingCount_; }
  void SetMaxPlayingCount(int n);
  // The sound data. A new wave takes effect at the next restore.
  TWave& Wave() { return wave_; }
  const TWave& Wave() const { return wave_; }
  // Frequency (0 = own rate), pan (0 = centre) and volume (0 = full); applied to the main
  // buffer at once and to every copy when it starts.
  int Frequency() const { return frequency_; }
  void SetFrequency(int hz);
  int Pan() const { return pan_; }
  void SetPan(int pan);
  int Volume() const { return volume_; }
  void SetVolume(int volume);

  // Starts the wave (silently nothing when not initialised or without samples). With `wait`
  // the call returns when the copy has finished.
  void Play(bool wait);
  // Stops every copy and the main buffer.
  void Stop();

  // Set by the collection's initialisation while its component is initialised.
  bool Initialized() const { return initialized_; }
  void Initialize();
  // Frees every copy and the main buffer; clears Initialized.
  void Finalize();
  // (Re)loads the main buffer from the wave; raises EDirectSoundBufferError when the wave
  // cannot be turned into a buffer.
  void Restore();

  // The main buffer (null until restored) and the copies, oldest first.
  TDirectSoundBuffer* Buffer() const { return buffer_; }
  const std::vector<TDirectSoundBuffer*>& Copies() const { return copies_; }
  // The owning wave collection (null when none).
  TWaveCollection* WaveCollection() const;

 private:
  TDirectSound* Device() const;
  bool EnsureBuffer();
  // (Re)loads the main buffer from the wave on `device`; a failed load frees it and rethrows.
  void LoadMainBuffer(TDirectSound* device);
  void FreeCopies();
  void ApplySettings(TDirectSoundBuffer* b) const;

  bool looped_ = false;
  int maxPlayingCount_ = 0;
  TWave wave_;
  int frequency_ = 0, pan_ = 0, volume_ = 0;
  bool initialized_ = false;
  TDirectSound* madeOn_ = nullptr;  // the device the buffers below belong to
  TDirectSoundBuffer* buffer_ = nullptr;
  std::vector<TDirectSoundBuffer*> copies_;
};

class TWaveCollection : public THashCollectionOf<TWaveCollectionItem> {
 public:
  TWaveCollection();
  // Frees the items (and with them their buffers).
  ~TWaveCollection() override;

  // The item called `name` ignoring case; raises EWaveCollectionError "Wave '%s' not found".
  TWaveCollectionItem* FindWave(std::string_view name) const { return FindItem(name); }
  // Finalises every item, remembers `sound`, initialises every item.
  void Initialize(TCustomDXSound* sound);
  // Finalises every item and forgets the component.
  void Finalize();
  // Restores every item in order.
  void Restore();
  // The component is set and initialised.
  bool Initialized() const { return dxsound_ != nullptr && dxsound_->Initialized(); }
  // The component the items are initialised for (null when none).
  TCustomDXSound* DXSound() const { return dxsound_; }

 protected:
  [[noreturn]] void RaiseNotFound(std::string_view name) const override;

 private:
  TCustomDXSound* dxsound_ = nullptr;
};

class TCustomDXWaveList : public TComponent {
 public:
  explicit TCustomDXWaveList(TComponent* owner);
  // Leaves its sound component (its items are finalised) and frees the items.
  ~TCustomDXWaveList() override;

  // The sound component (null when none). Setting it unregisters from the old one and
  // registers with the new one; the component's destruction clears it.
  TCustomDXSound* DXSound() const { return dxsound_; }
  void SetDXSound(TCustomDXSound* sound);
  // The waves.
  TWaveCollection& Items() { return items_; }
  const TWaveCollection& Items() const { return items_; }
  // The wave called `name` ignoring case; raises EWaveCollectionError "Wave '%s' not found".
  TWaveCollectionItem* FindWave(std::string_view name) const { return items_.FindWave(name); }

 private:
  static void Notify(void* target, TCustomDXSound* sender, TDXSoundNotifyType code);

  TCustomDXSound* dxsound_ = nullptr;
  TWaveCollection items_;
};

// The published form of the wave list.
class TDXWaveList : public TCustomDXWaveList {
 public:
  using TCustomDXWaveList::TCustomDXWaveList;
};

// Adds a wave named `name` (Looped false, MaxPlayingCount 0) whose data is the carried RIFF WAVE
// resource `resourceName`; raises EWaveError "Wave is invalid" when the resource is missing or
// not a wave file.
TWaveCollectionItem* AddWaveFromResource(TWaveCollection& items, const std::string& name,
                                         const std::string& resourceName);
// Adds the game's four waves "snd", "morf", "pop" and "las" from the carried resources
// "DXWaveList.snd" ... "DXWaveList.las" (Looped false, MaxPlayingCount 0).
void AddGameWaves(TWaveCollection& items);
