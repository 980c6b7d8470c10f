#include "sound/dxsounds.h"

#include <algorithm>
#include <cmath>

#include "toolkit/forms.h"
#include "toolkit/resources.h"
#include "toolkit/translate.h"

// ---------------------------------------------------------------------------------------------
TSoundChunk::~TSoundChunk() {
  // The device may already be gone (it orphans its buffers when it closes, and closing the
  // platform device frees every chunk anyway).
  if (device != nullptr && id != 0 && platform::Installed()) device->Audio().FreeChunk(id);
}

// ---------------------------------------------------------------------------------------------
TDirectSoundBuffer::~TDirectSoundBuffer() { Stop(); }

void TDirectSoundBuffer::LoadFromWave(const TWave& wave) {
  if (device_ == nullptr) throw EDirectSoundBufferError(toolkit::Tr("Sound Buffer cannot be made"));
  platform::PcmFormat format;
  if (!wave.ToPcmFormat(format))
    throw EDirectSoundBufferError(toolkit::Tr("Sound Buffer cannot be made"));
  const size_t bytes = wave.PlayableSize();
  if (bytes == 0) throw EDirectSoundBufferError(toolkit::Tr("Sound Buffer cannot be made"));
  const platform::ChunkId id = device_->Audio().LoadChunk(format, wave.Data().data(), bytes);
  if (id == 0) throw EDirectSoundBufferError(toolkit::Tr("Sound Buffer cannot be made"));
  Stop();
  auto chunk = std::make_shared<TSoundChunk>();
  chunk->id = id;
  chunk->device = device_;
  chunk->bytes = bytes;
  const uint64_t bytesPerSec = static_cast<uint64_t>(format.channels) *
                               static_cast<uint64_t>(format.bitsPerSample / 8) *
                               static_cast<uint64_t>(format.samplesPerSec);
  chunk->durationMs = static_cast<uint32_t>(static_cast<uint64_t>(bytes) * 1000 / bytesPerSec);
  chunk_ = std::move(chunk);
}

bool TDirectSoundBuffer::Duplicate(const TDirectSoundBuffer& source) {
  if (!source.chunk_ || device_ == nullptr) return false;
  Stop();
  chunk_ = source.chunk_;
  frequency_ = source.frequency_;
  pan_ = source.pan_;
  volume_ = source.volume_;
  return true;
}

void TDirectSoundBuffer::Play(bool looped) {
  if (!chunk_ || device_ == nullptr)
    throw EDirectSoundBufferError(toolkit::Tr("IDirectSoundBuffer not made"));
  Stop();
  platform::Audio& audio = device_->Audio();
  const int channel = audio.PlayChunk(chunk_->id, looped);
  if (channel < 0) return;  // the mixer is at its bound with no copy of this wave to cut
  device_->ClaimChannel(channel, this);
  channel_ = channel;
  looped_ = looped;
  // Decibels of attenuation to the mixer's linear 0..128 scale.
  const double gain = std::pow(10.0, volume_ / 2000.0);
  audio.SetChannelVolume(channel, static_cast<int>(std::lround(128.0 * gain)));
}

void TDirectSoundBuffer::Stop() {
  if (channel_ < 0 || device_ == nullptr) return;
  if (device_->OwnsChannel(channel_, this)) {
    device_->Audio().StopChannel(channel_);
    device_->ReleaseChannel(channel_, this);
  }
  channel_ = -1;
}

bool TDirectSoundBuffer::Playing() {
  if (channel_ < 0 || device_ == nullptr) return false;
  if (!device_->OwnsChannel(channel_, this) || !device_->Audio().ChannelPlaying(channel_)) {
    // Finished: give the channel back so the map does not keep stale owners.
    device_->ReleaseChannel(channel_, this);
    channel_ = -1;
    return false;
  }
  return true;
}

bool TDirectSoundBuffer::Looping() { return looped_ && Playing(); }

void TDirectSoundBuffer::SetVolume(int volume) { volume_ = std::clamp(volume, -10000, 0); }

// ---------------------------------------------------------------------------------------------
TDirectSound::TDirectSound() {
  if (!platform::Get().audio->Open()) {
    throw EDirectSoundError(Format(toolkit::Tr("%s cannot be initialized"), "DirectSound"));
  }
}

TDirectSound::~TDirectSound() {
  buffers_.clear();  // every buffer stops its channel and drops its chunk while the device lives
  channelOwner_.clear();
  if (platform::Installed()) Audio().Close();
}

TDirectSoundBuffer* TDirectSound::CreateBuffer() {
  buffers_.push_back(std::make_unique<TDirectSoundBuffer>(this));
  return buffers_.back().get();
}

void TDirectSound::FreeBuffer(TDirectSoundBuffer* buffer) {
  if (buffer == nullptr) return;
  auto it = std::find_if(buffers_.begin(), buffers_.end(),
                         [buffer](const auto& p) { return p.get() == buffer; });
  if (it != buffers_.end()) buffers_.erase(it);
}

void TDirectSound::ClaimChannel(int channel, TDirectSoundBuffer* owner) {
  auto it = channelOwner_.find(channel);
  // The back-end hands out a channel that has gone quiet or that it took from the oldest copy
  // of the same wave; either way its previous buffer loses it.
  if (it != channelOwner_.end() && it->second != owner) it->second->channel_ = -1;
  channelOwner_[channel] = owner;
}

void TDirectSound::ReleaseChannel(int channel, const TDirectSoundBuffer* owner) {
  auto it = channelOwner_.find(channel);
  if (it != channelOwner_.end() && it->second == owner) channelOwner_.erase(it);
}

bool TDirectSound::OwnsChannel(int channel, const TDirectSoundBuffer* owner) const {
  auto it = channelOwner_.find(channel);
  return it != channelOwner_.end() && it->second == owner;
}

// ---------------------------------------------------------------------------------------------
TCustomDXSound::TCustomDXSound(TComponent* owner) : TComponent(owner) {}

TCustomDXSound::~TCustomDXSound() {
  Finalize();
  Broadcast(dsntDestroying);
  listeners_.clear();
}

void TCustomDXSound::Broadcast(TDXSoundNotifyType code) {
  // Last registered first. A listener may unregister (itself or others) while being told, so
  // each one is looked up again before it is called.
  const std::vector<Listener> snapshot = listeners_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    const bool still = std::any_of(listeners_.begin(), listeners_.end(), [&](const Listener& l) {
      return l.callback == it->callback && l.target == it->target;
    });
    if (still) it->callback(it->target, this, code);
  }
}

void TCustomDXSound::RegisterNotifyEvent(TDXSoundNotifyEvent callback, void* target) {
  std::erase_if(listeners_,
                [&](const Listener& l) { return l.callback == callback && l.target == target; });
  listeners_.push_back({callback, target});
  if (initialized_) {
    callback(target, this, dsntInitialize);
    callback(target, this, dsntRestore);
  }
}

void TCustomDXSound::UnRegisterNotifyEvent(TDXSoundNotifyEvent callback, void* target) {
  auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) {
    return l.callback == callback && l.target == target;
  });
  if (it == listeners_.end()) return;
  listeners_.erase(it);
  if (initialized_) callback(target, this, dsntFinalize);
}

void TCustomDXSound::Initialize() {
  Finalize();
  // The component belongs to a window; the device is opened on that window's behalf.
  TComponent* c = Owner();
  while (c != nullptr && dynamic_cast<TForm*>(c) == nullptr) c = c->Owner();
  if (c == nullptr) throw EDXSoundError(toolkit::Tr("Form not found"));

  Broadcast(dsntInitializing);
  if (OnInitializing) OnInitializing(this);
  deviceExists_ = true;
  try {
    dsound_ = std::make_unique<TDirectSound>();
    // The platform mixer needs no primary buffer and no cooperative level: the mix goes to the
    // one output device for whichever window has the focus.
    initialized_ = true;
  } catch (...) {
    Finalize();
    throw;
  }
  Broadcast(dsntInitialize);
  if (OnInitialize) OnInitialize(this);
  calledDoInitialize_ = true;
  Restore();
}

void TCustomDXSound::Finalize() {
  if (!deviceExists_) return;
  if (calledDoInitialize_ && OnFinalize) OnFinalize(this);
  // Listeners free their buffers while the device still exists.
  if (initialized_) Broadcast(dsntFinalize);
  calledDoInitialize_ = false;
  initialized_ = false;
  deviceExists_ = false;
  dsound_.reset();
}

void TCustomDXSound::Restore() {
  if (!initialized_ || restoring_) return;
  restoring_ = true;
  try {
    Broadcast(dsntRestore);
    if (OnRestore) OnRestore(this);
  } catch (...) {
    restoring_ = false;
    throw;
  }
  restoring_ = false;
}

void TCustomDXSound::Loaded() {
  TComponent::Loaded();
  if (!AutoInitialize || Designing()) return;
  try {
    Initialize();
  } catch (const EDirectSoundError&) {
    // No sound device (or a wave the device cannot take): the game runs without that sound.
  }
}

// ---------------------------------------------------------------------------------------------
TWaveCollectionItem::~TWaveCollectionItem() { Finalize(); }

TWaveCollection* TWaveCollectionItem::WaveCollection() const {
  return static_cast<TWaveCollection*>(Collection());
}

TDirectSound* TWaveCollectionItem::Device() const {
  TWaveCollection* c = WaveCollection();
  if (c == nullptr || !c->Initialized()) return nullptr;
  return c->DXSound()->DSound();
}

void TWaveCollectionItem::ApplySettings(TDirectSoundBuffer* b) const {
  b->SetFrequency(frequency_);
  b->SetPan(pan_);
  b->SetVolume(volume_);
}

void TWaveCollectionItem::SetLooped(bool on) {
  if (looped_ == on) return;
  Stop();
  looped_ = on;
}

void TWaveCollectionItem::SetMaxPlayingCount(int n) {
  n = std::max(n, 0);
  if (n == maxPlayingCount_) return;
  FreeCopies();
  maxPlayingCount_ = n;
}

void TWaveCollectionItem::SetFrequency(int hz) {
  frequency_ = hz;
  if (buffer_ != nullptr) buffer_->SetFrequency(hz);
}

void TWaveCollectionItem::SetPan(int pan) {
  pan_ = pan;
  if (buffer_ != nullptr) buffer_->SetPan(pan);
}

void TWaveCollectionItem::SetVolume(int volume) {
  volume_ = volume;
  if (buffer_ != nullptr) buffer_->SetVolume(volume);
}

void TWaveCollectionItem::Initialize() {
  Finalize();
  TWaveCollection* c = WaveCollection();
  initialized_ = c != nullptr && c->Initialized();
}

void TWaveCollectionItem::FreeCopies() {
  if (madeOn_ != nullptr) {
    for (TDirectSoundBuffer* b : copies_) madeOn_->FreeBuffer(b);
  }
  copies_.clear();
}

void TWaveCollectionItem::Finalize() {
  initialized_ = false;
  FreeCopies();
  if (madeOn_ != nullptr) madeOn_->FreeBuffer(buffer_);
  buffer_ = nullptr;
  madeOn_ = nullptr;
}

bool TWaveCollectionItem::EnsureBuffer() {
  if (buffer_ != nullptr && buffer_->Made()) return true;
  TDirectSound* device = Device();
  if (device == nullptr || wave_.Empty()) return false;
  LoadMainBuffer(device);
  return true;
}

void TWaveCollectionItem::LoadMainBuffer(TDirectSound* device) {
  if (buffer_ == nullptr) {
    buffer_ = device->CreateBuffer();
    madeOn_ = device;
  }
  try {
    buffer_->LoadFromWave(wave_);
  } catch (...) {
    // A main buffer that holds nothing is not kept: the next restore or play tries again.
    device->FreeBuffer(buffer_);
    buffer_ = nullptr;
    if (copies_.empty()) madeOn_ = nullptr;
    throw;
  }
  ApplySettings(buffer_);
}

void TWaveCollectionItem::Restore() {
  if (wave_.Empty()) return;
  if (!initialized_) {
    Initialize();
    if (!initialized_) return;
  }
  TDirectSound* device = Device();
  if (device == nullptr) return;
  // Reload even an existing main buffer: a new Wave takes effect here, and copies already made
  // keep the chunk they share until they are freed.
  LoadMainBuffer(device);
}

void TWaveCollectionItem::Play(bool wait) {
  if (!initialized_ || wave_.Empty()) return;

  if (looped_) {
    try {
      if (!EnsureBuffer()) return;
    } catch (const EDirectSoundError&) {
      return;
    }
    buffer_->Stop();
    buffer_->SetPosition(0);
    buffer_->Play(true);
    return;
  }

  TDirectSoundBuffer* copy = nullptr;
  for (TDirectSoundBuffer* b : copies_) {
    if (!b->Playing() && !b->Looping()) {
      copy = b;
      break;
    }
  }
  if (copy == nullptr) {
    if (maxPlayingCount_ == 0 || static_cast<int>(copies_.size()) < maxPlayingCount_) {
      try {
        if (!EnsureBuffer()) return;
      } catch (const EDirectSoundError&) {
        return;  // the wave cannot be made into a buffer: nothing to duplicate
      }
      TDirectSound* device = madeOn_;
      copy = device->CreateBuffer();
      if (!copy->Duplicate(*buffer_)) {
        device->FreeBuffer(copy);
        return;
      }
      copies_.push_back(copy);
    } else {
      // The limit is reached: the oldest copy is cut off and becomes the newest.
      copy = copies_.front();
      copies_.erase(copies_.begin());
      copies_.push_back(copy);
    }
  }

  copy->Stop();
  copy->SetPosition(0);
  ApplySettings(copy);
  copy->Play(false);

  if (wait) {
    // Poll in 10 ms steps. The bound (the copy's length plus a second) keeps a back-end whose
    // channel never reports its end, or whose clock does not move, from hanging the caller.
    const uint32_t limit = copy->DurationMs() / 10 + 100;
    platform::Clock& clock = *platform::Get().clock;
    for (uint32_t i = 0; i < limit && (copy->Playing() || copy->Looping()); ++i) clock.SleepMs(10);
  }
}

void TWaveCollectionItem::Stop() {
  for (TDirectSoundBuffer* b : copies_) b->Stop();
  if (buffer_ != nullptr) buffer_->Stop();
}

// ---------------------------------------------------------------------------------------------
TWaveCollection::TWaveCollection() : THashCollectionOf(toolkit::TrLater("Wave '%s' not found")) {}

TWaveCollection::~TWaveCollection() {
  // The items free their buffers through the device, which must still be known here.
  Clear();
}

void TWaveCollection::RaiseNotFound(std::string_view name) const {
  throw EWaveCollectionError(NotFoundMessage(name));
}

void TWaveCollection::Initialize(TCustomDXSound* sound) {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxsound_ = sound;
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TWaveCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxsound_ = nullptr;
}

void TWaveCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

// ---------------------------------------------------------------------------------------------
TCustomDXWaveList::TCustomDXWaveList(TComponent* owner) : TComponent(owner) {}

TCustomDXWaveList::~TCustomDXWaveList() { SetDXSound(nullptr); }

void TCustomDXWaveList::SetDXSound(TCustomDXSound* sound) {
  if (sound == dxsound_) return;
  if (dxsound_ != nullptr) dxsound_->UnRegisterNotifyEvent(&TCustomDXWaveList::Notify, this);
  dxsound_ = sound;
  if (dxsound_ != nullptr) dxsound_->RegisterNotifyEvent(&TCustomDXWaveList::Notify, this);
}

void TCustomDXWaveList::Notify(void* target, TCustomDXSound* sender, TDXSoundNotifyType code) {
  auto* list = static_cast<TCustomDXWaveList*>(target);
  switch (code) {
    case dsntDestroying:
      list->dxsound_ = nullptr;
      break;
    case dsntInitialize:
      list->items_.Initialize(sender);
      break;
    case dsntFinalize:
      list->items_.Finalize();
      break;
    case dsntRestore:
      list->items_.Restore();
      break;
    case dsntInitializing:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
TWaveCollectionItem* AddWaveFromResource(TWaveCollection& items, const std::string& name,
                                         const std::string& resourceName) {
  const res::Blob blob = res::Find(resourceName);
  if (!blob) throw EWaveError(toolkit::Tr("Wave is invalid"));
  TWave wave;
  wave.LoadFromMemory(blob.data, blob.size);
  TWaveCollectionItem* item = items.AddItem();
  item->SetName(name);
  item->Wave() = std::move(wave);
  return item;
}

void AddGameWaves(TWaveCollection& items) {
  for (const char* name : {"snd", "morf", "pop", "las"}) {
    AddWaveFromResource(items, name, std::string("DXWaveList.") + name);
  }
}
