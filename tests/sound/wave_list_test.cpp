// The sound component and the wave list on the headless audio device.
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "sound/dxsounds.h"
#include "sound/riff_builder.h"
#include "support/headless_env.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"

namespace {

std::vector<uint8_t> SndBlock() {
  std::vector<uint8_t> fmt = riff::PcmFormat(1, 11025, 16);
  for (uint8_t b : {0x18, 0x00, 0x00, 0x00}) fmt.push_back(b);
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "fmt ", fmt);
  riff::Chunk(block, "data", riff::Ramp(12036));
  return riff::Finish(block);
}

TWaveCollectionItem* AddWave(TCustomDXWaveList* list, const char* name,
                             const std::vector<uint8_t>& block) {
  TWaveCollectionItem* item = list->Items().AddItem();
  item->SetName(name);
  item->Wave().LoadFromMemory(block.data(), block.size());
  return item;
}

// "las" lasts 16542 bytes at 22050 bytes a second: 750 ms.
constexpr uint32_t kLasMs = 750;

class WaveListTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    app.emplace();
    form = new TForm(nullptr);
  }
  void TearDown() override {
    app.reset();  // frees the form and its components while the platform still exists
    HeadlessTest::TearDown();
  }

  // The game's form: DXSound and DXWaveList with its four waves, read in as a form resource.
  void LoadGameForm() {
    form->BeginLoading();
    sound = new TDXSound(form);
    sound->Name = "DXSound";
    list = new TDXWaveList(form);
    list->Name = "DXWaveList";
    list->SetDXSound(sound);
    AddWave(list, "snd", SndBlock());
    AddWave(list, "morf", riff::Wave(11025, 8, 1086));
    AddWave(list, "pop", riff::Wave(11025, 8, 640));
    AddWave(list, "las", riff::Wave(22050, 8, 16542));
    form->EndLoading();
  }

  std::optional<TApplicationScope> app;
  TForm* form = nullptr;
  TDXSound* sound = nullptr;
  TDXWaveList* list = nullptr;
};

TEST_F(WaveListTest, LoadingTheFormOpensTheDeviceAndLoadsEachWaveOnce) {
  LoadGameForm();
  ASSERT_TRUE(sound->Initialized());
  EXPECT_TRUE(hl.audio->IsOpen());
  EXPECT_EQ(hl.audio->ChunkCount(), 4);
  for (const char* name : {"snd", "morf", "pop", "las"}) {
    SCOPED_TRACE(name);
    TWaveCollectionItem* item = list->FindWave(name);
    EXPECT_TRUE(item->Initialized());
    ASSERT_NE(item->Buffer(), nullptr);
    EXPECT_TRUE(item->Buffer()->Made());
    EXPECT_TRUE(item->Copies().empty());
  }
  // The 20-byte format chunk of "snd" went into a 16-bit buffer of all its samples.
  platform::PcmFormat f;
  size_t bytes = 0;
  uint32_t ms = 0;
  ASSERT_TRUE(hl.audio->ChunkInfo(list->FindWave("snd")->Buffer()->ChunkId(), f, bytes, ms));
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.samplesPerSec, 11025);
  EXPECT_EQ(bytes, 12036u);
  EXPECT_EQ(list->FindWave("snd")->Wave().FormatRecord().size(), 20u);
}

TEST_F(WaveListTest, FindWaveIgnoresCaseAndNamesAMissingWave) {
  LoadGameForm();
  EXPECT_EQ(list->FindWave("LAS"), list->Items().Items(3));
  EXPECT_EQ(list->FindWave("Snd"), list->Items().Items(0));
  try {
    list->FindWave("boom");
    FAIL() << "found a wave that does not exist";
  } catch (const EWaveCollectionError& e) {
    EXPECT_EQ(e.Message(), "Wave 'boom' not found");
  }
}

TEST_F(WaveListTest, TwoPlaysInOneFrameUseTwoCopiesAndALaterPlayReusesTheFirst) {
  LoadGameForm();
  TWaveCollectionItem* las = list->FindWave("las");
  const platform::ChunkId chunk = las->Buffer()->ChunkId();
  hl.clock->Set(1000);
  las->Play(false);
  las->Play(false);
  ASSERT_EQ(las->Copies().size(), 2u);
  const auto& plays = hl.audio->Plays();
  ASSERT_EQ(plays.size(), 2u);
  // Both copies play the one converted chunk, side by side on two channels.
  EXPECT_EQ(plays[0].chunk, chunk);
  EXPECT_EQ(plays[1].chunk, chunk);
  EXPECT_NE(plays[0].channel, plays[1].channel);
  EXPECT_FALSE(plays[0].looped);
  EXPECT_TRUE(las->Copies()[0]->Playing());
  EXPECT_TRUE(las->Copies()[1]->Playing());
  EXPECT_EQ(hl.audio->ChunkCount(), 4);  // no sample copy per play

  hl.clock->Advance(kLasMs + 1);
  EXPECT_FALSE(las->Copies()[0]->Playing());
  EXPECT_FALSE(las->Copies()[1]->Playing());
  TDirectSoundBuffer* first = las->Copies()[0];
  las->Play(false);
  ASSERT_EQ(las->Copies().size(), 2u);
  EXPECT_EQ(las->Copies()[0], first);
  EXPECT_TRUE(first->Playing());
  EXPECT_FALSE(las->Copies()[1]->Playing());
  ASSERT_EQ(plays.size(), 3u);
  EXPECT_EQ(plays[2].chunk, chunk);
  EXPECT_EQ(plays[2].channel, first->Channel());
  EXPECT_EQ(hl.audio->ChunkCount(), 4);
}

TEST_F(WaveListTest, MaxPlayingCountRestartsTheOldestCopyAndMakesItTheNewest) {
  LoadGameForm();
  TWaveCollectionItem* las = list->FindWave("las");
  las->SetMaxPlayingCount(2);
  hl.clock->Set(0);
  las->Play(false);
  TDirectSoundBuffer* older = las->Copies()[0];
  hl.clock->Set(100);
  las->Play(false);
  TDirectSoundBuffer* newer = las->Copies()[1];
  hl.clock->Set(200);
  las->Play(false);  // both still sounding: the older one is cut off and restarted

  ASSERT_EQ(las->Copies().size(), 2u);
  EXPECT_EQ(las->Copies()[0], newer);
  EXPECT_EQ(las->Copies()[1], older);
  ASSERT_EQ(hl.audio->Plays().size(), 3u);
  EXPECT_EQ(hl.audio->Plays()[2].time, 200u);
  EXPECT_EQ(hl.audio->Plays()[2].channel, older->Channel());

  // Restarted from the beginning: at 900 ms the newer copy (started at 100) is over, the
  // restarted one (started at 200) still sounds until 950 ms.
  hl.clock->Set(100 + kLasMs);
  EXPECT_FALSE(newer->Playing());
  EXPECT_TRUE(older->Playing());
  hl.clock->Set(200 + kLasMs);
  EXPECT_FALSE(older->Playing());
}

TEST_F(WaveListTest, NegativeMaxPlayingCountIsStoredAsNoLimitAndChangingItFreesCopies) {
  LoadGameForm();
  TWaveCollectionItem* pop = list->FindWave("pop");
  pop->Play(false);
  pop->Play(false);
  EXPECT_EQ(pop->Copies().size(), 2u);
  pop->SetMaxPlayingCount(-3);
  EXPECT_EQ(pop->MaxPlayingCount(), 0);
  pop->SetMaxPlayingCount(1);
  EXPECT_TRUE(pop->Copies().empty());
  pop->Play(false);
  pop->Play(false);
  EXPECT_EQ(pop->Copies().size(), 1u);
}

TEST_F(WaveListTest, AFinishedCopyIsNotFooledByAnotherWaveOnItsOldChannel) {
  LoadGameForm();
  TWaveCollectionItem* pop = list->FindWave("pop");  // 640 bytes at 11025 Hz: 58 ms
  TWaveCollectionItem* las = list->FindWave("las");
  pop->Play(false);
  const int popChannel = hl.audio->Plays()[0].channel;
  hl.clock->Advance(100);
  las->Play(false);
  const int lasChannel = hl.audio->Plays()[1].channel;
  ASSERT_EQ(lasChannel, popChannel);  // the back-end hands the freed channel to "las"

  pop->Play(false);
  EXPECT_EQ(pop->Copies().size(), 1u);                // the finished copy is reused ...
  EXPECT_TRUE(hl.audio->ChannelPlaying(lasChannel));  // ... without cutting off "las"
  EXPECT_TRUE(las->Copies()[0]->Playing());
  EXPECT_NE(hl.audio->Plays()[2].channel, lasChannel);
}

TEST_F(WaveListTest, WithoutADeviceTheWavesExistAndPlaySilently) {
  hl.audio->SetDeviceAvailable(false);
  ASSERT_NO_THROW(LoadGameForm());
  EXPECT_FALSE(sound->Initialized());
  EXPECT_EQ(sound->DSound(), nullptr);
  TWaveCollectionItem* las = list->FindWave("LAS");
  ASSERT_NE(las, nullptr);
  EXPECT_FALSE(las->Initialized());
  EXPECT_NO_THROW(las->Play(false));
  EXPECT_NO_THROW(list->FindWave("snd")->Play(true));
  EXPECT_TRUE(hl.audio->Plays().empty());
  EXPECT_EQ(las->Buffer(), nullptr);
  EXPECT_TRUE(las->Copies().empty());
  // Asked directly, the component reports the missing device.
  try {
    sound->Initialize();
    FAIL() << "initialised without a device";
  } catch (const EDirectSoundError& e) {
    EXPECT_EQ(e.Message(), "DirectSound cannot be initialized");
  }
  EXPECT_FALSE(sound->Initialized());
}

TEST_F(WaveListTest, AWaveWithoutSamplesNeverGetsABuffer) {
  std::vector<uint8_t> noData = riff::Header();
  riff::Chunk(noData, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Finish(noData);
  form->BeginLoading();
  sound = new TDXSound(form);
  list = new TDXWaveList(form);
  list->SetDXSound(sound);
  TWaveCollectionItem* silent = AddWave(list, "silent", noData);
  form->EndLoading();
  ASSERT_TRUE(sound->Initialized());
  EXPECT_TRUE(silent->Initialized());
  EXPECT_EQ(silent->Buffer(), nullptr);
  silent->Play(false);
  silent->SetLooped(true);
  silent->Play(false);
  EXPECT_EQ(silent->Buffer(), nullptr);
  EXPECT_TRUE(silent->Copies().empty());
  EXPECT_TRUE(hl.audio->Plays().empty());
  EXPECT_EQ(hl.audio->ChunkCount(), 0);
}

TEST_F(WaveListTest, WithoutAutoInitializeLoadingLeavesTheDeviceClosed) {
  form->BeginLoading();
  sound = new TDXSound(form);
  sound->AutoInitialize = false;
  form->EndLoading();
  EXPECT_FALSE(sound->Initialized());
  sound->Initialize();
  EXPECT_TRUE(sound->Initialized());
}

TEST_F(WaveListTest, AWaveTheDeviceCannotTakeIsSkippedAtLoadingAndReportedOnRestore) {
  form->BeginLoading();
  sound = new TDXSound(form);
  list = new TDXWaveList(form);
  list->SetDXSound(sound);
  TWaveCollectionItem* bad = AddWave(list, "bad", riff::Wave(11025, 24, 30));
  TWaveCollectionItem* pop = AddWave(list, "pop", riff::Wave(11025, 8, 640));
  ASSERT_NO_THROW(form->EndLoading());
  EXPECT_TRUE(sound->Initialized());
  EXPECT_EQ(bad->Buffer(), nullptr);
  bad->Play(false);
  EXPECT_TRUE(hl.audio->Plays().empty());
  // The failure stopped the restore before "pop", which still loads when first played.
  pop->Play(false);
  ASSERT_EQ(hl.audio->Plays().size(), 1u);
  ASSERT_NE(pop->Buffer(), nullptr);
  EXPECT_EQ(hl.audio->Plays()[0].chunk, pop->Buffer()->ChunkId());
  try {
    sound->Restore();
    FAIL() << "restored a 24-bit wave";
  } catch (const EDirectSoundBufferError& e) {
    EXPECT_EQ(e.Message(), "Sound Buffer cannot be made");
  }
}

TEST_F(WaveListTest, LoopedPlayRunsTheMainBufferUntilStopped) {
  LoadGameForm();
  TWaveCollectionItem* morf = list->FindWave("morf");
  morf->SetLooped(true);
  morf->Play(false);
  morf->Play(false);  // restarts the one main buffer, no second voice
  const auto& plays = hl.audio->Plays();
  ASSERT_EQ(plays.size(), 2u);
  EXPECT_TRUE(plays[1].looped);
  EXPECT_EQ(plays[1].chunk, morf->Buffer()->ChunkId());
  EXPECT_TRUE(morf->Copies().empty());
  int sounding = 0;
  for (int c = 0; c < hl.audio->ChannelCount(); ++c) {
    sounding += hl.audio->ChannelPlaying(c) ? 1 : 0;
  }
  EXPECT_EQ(sounding, 1);
  hl.clock->Advance(60000);
  EXPECT_TRUE(morf->Buffer()->Looping());
  morf->SetLooped(false);  // stops it
  EXPECT_FALSE(morf->Buffer()->Playing());
  EXPECT_FALSE(hl.audio->ChannelPlaying(plays[1].channel));
}

TEST_F(WaveListTest, ABurstOfAHundredPlaysSoundsAHundredVoices) {
  LoadGameForm();
  TWaveCollectionItem* las = list->FindWave("las");
  TWaveCollectionItem* snd = list->FindWave("snd");
  for (int i = 0; i < 100; ++i) (i % 4 == 3 ? snd : las)->Play(false);
  const auto& plays = hl.audio->Plays();
  ASSERT_EQ(plays.size(), 100u);
  std::set<int> channels;
  for (const auto& p : plays) {
    channels.insert(p.channel);
    EXPECT_TRUE(hl.audio->ChannelPlaying(p.channel)) << p.channel;
  }
  EXPECT_EQ(channels.size(), 100u);
  EXPECT_EQ(las->Copies().size(), 75u);
  for (TDirectSoundBuffer* b : las->Copies()) EXPECT_TRUE(b->Playing());
}

TEST_F(WaveListTest, VolumeIsAppliedToTheChannelAndFullByDefault) {
  LoadGameForm();
  TWaveCollectionItem* pop = list->FindWave("pop");
  pop->Play(false);
  EXPECT_EQ(hl.audio->ChannelVolume(hl.audio->Plays()[0].channel), 128);
  hl.clock->Advance(100);
  pop->SetVolume(-2000);  // 20 dB down: a tenth of the amplitude
  pop->Play(false);
  EXPECT_EQ(hl.audio->ChannelVolume(hl.audio->Plays()[1].channel), 13);
  pop->SetVolume(-20000);  // beyond silence: held at silence
  EXPECT_EQ(pop->Buffer()->Volume(), -10000);
}

TEST_F(WaveListTest, PlayWithWaitPollsInTenMillisecondSteps) {
  LoadGameForm();
  list->FindWave("pop")->Play(true);
  // The headless clock never moves by itself, so the wait ends at its bound, having slept at
  // least the sound's length and at most a second more.
  const uint64_t ms = list->FindWave("pop")->Copies().at(0)->DurationMs();
  EXPECT_GE(hl.clock->SleptMs(), ms);
  EXPECT_LE(hl.clock->SleptMs(), ms + 1000);
  EXPECT_EQ(hl.clock->SleptMs(), 10u * static_cast<uint64_t>(hl.clock->SleepCalls()));
  EXPECT_EQ(hl.audio->Plays().size(), 1u);
}

TEST_F(WaveListTest, FinalizeFreesEveryBufferAndTheWavesStaySilent) {
  LoadGameForm();
  TWaveCollectionItem* las = list->FindWave("las");
  las->Play(false);
  las->Play(false);
  ASSERT_EQ(sound->DSound()->BufferCount(), 4 + 2);
  sound->Finalize();
  EXPECT_FALSE(sound->Initialized());
  EXPECT_FALSE(hl.audio->IsOpen());
  EXPECT_FALSE(las->Initialized());
  EXPECT_EQ(las->Buffer(), nullptr);
  EXPECT_TRUE(las->Copies().empty());
  las->Play(false);
  EXPECT_EQ(hl.audio->Plays().size(), 2u);
  // Initialising again brings everything back.
  sound->Initialize();
  EXPECT_TRUE(las->Initialized());
  EXPECT_EQ(hl.audio->ChunkCount(), 4);
  las->Play(false);
  EXPECT_EQ(hl.audio->Plays().size(), 3u);
}

TEST_F(WaveListTest, WavesRemovedWhileTheDeviceIsOpenGiveTheirChunksBack) {
  LoadGameForm();
  ASSERT_GT(hl.audio->ChunkCount(), 0);
  list->Items().Clear();
  EXPECT_TRUE(hl.audio->IsOpen());
  EXPECT_EQ(hl.audio->ChunkCount(), 0);
}

TEST_F(WaveListTest, ASoundComponentWithoutAFormCannotInitialize) {
  TDXSound orphan(nullptr);
  try {
    orphan.Initialize();
    FAIL() << "initialised without a form";
  } catch (const EDXSoundError& e) {
    EXPECT_EQ(e.Message(), "Form not found");
  }
  // The automatic initialisation lets this one through.
  orphan.BeginLoading();
  EXPECT_THROW(orphan.EndLoading(), EDXSoundError);
  EXPECT_FALSE(hl.audio->IsOpen());
}

TEST_F(WaveListTest, DestroyingTheSoundComponentClearsTheListsLink) {
  LoadGameForm();
  delete sound;
  sound = nullptr;
  EXPECT_EQ(list->DXSound(), nullptr);
  EXPECT_FALSE(list->FindWave("las")->Initialized());
  EXPECT_NO_THROW(list->FindWave("las")->Play(false));
  EXPECT_TRUE(hl.audio->Plays().empty());
}

TEST_F(WaveListTest, AListJoiningAnInitialisedComponentLoadsAtOnceAndLeavingFreesIt) {
  LoadGameForm();
  auto* second = new TDXWaveList(form);
  TWaveCollectionItem* pop = AddWave(second, "pop", riff::Wave(11025, 8, 640));
  EXPECT_FALSE(pop->Initialized());
  second->SetDXSound(sound);
  EXPECT_TRUE(pop->Initialized());
  ASSERT_NE(pop->Buffer(), nullptr);
  EXPECT_EQ(hl.audio->ChunkCount(), 5);
  second->SetDXSound(nullptr);  // unregistering sends finalizing
  EXPECT_FALSE(pop->Initialized());
  EXPECT_EQ(pop->Buffer(), nullptr);
  EXPECT_EQ(hl.audio->ChunkCount(), 4);
}

TEST_F(WaveListTest, TheCarriedWavesLoadAndPlay) {
  form->BeginLoading();
  sound = new TDXSound(form);
  list = new TDXWaveList(form);
  list->SetDXSound(sound);
  AddGameWaves(list->Items());
  form->EndLoading();
  ASSERT_EQ(list->Items().Count(), 4);
  EXPECT_EQ(hl.audio->ChunkCount(), 4);
  for (const char* name : {"snd", "morf", "pop", "las"}) {
    SCOPED_TRACE(name);
    TWaveCollectionItem* item = list->FindWave(name);
    EXPECT_EQ(item->Name(), name);
    EXPECT_FALSE(item->Looped());
    EXPECT_EQ(item->MaxPlayingCount(), 0);
    item->Play(false);
  }
  EXPECT_EQ(hl.audio->Plays().size(), 4u);
  try {
    AddWaveFromResource(list->Items(), "nope", "DXWaveList.nope");
    FAIL() << "added a wave from a missing resource";
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.Message(), "Wave is invalid");
  }
  EXPECT_EQ(list->Items().Count(), 4);
}

// ---------------------------------------------------------------------------------------------
struct Recorder {
  std::vector<std::pair<int, int>>* log;
  int id;
};

void Record(void* target, TCustomDXSound*, TDXSoundNotifyType code) {
  auto* r = static_cast<Recorder*>(target);
  r->log->push_back({r->id, static_cast<int>(code)});
}

TEST_F(WaveListTest, ListenersHearNoticesLastRegisteredFirst) {
  std::vector<std::pair<int, int>> log;
  Recorder a{&log, 1}, b{&log, 2};
  sound = new TDXSound(form);
  sound->RegisterNotifyEvent(&Record, &a);
  sound->RegisterNotifyEvent(&Record, &b);
  sound->RegisterNotifyEvent(&Record, &a);  // moves a to the end, once
  EXPECT_EQ(sound->ListenerCount(), 2);
  sound->Initialize();
  const std::vector<std::pair<int, int>> init = {{1, dsntInitializing}, {2, dsntInitializing},
                                                 {1, dsntInitialize},   {2, dsntInitialize},
                                                 {1, dsntRestore},      {2, dsntRestore}};
  EXPECT_EQ(log, init);

  log.clear();
  sound->UnRegisterNotifyEvent(&Record, &b);
  EXPECT_EQ(log, (std::vector<std::pair<int, int>>{{2, dsntFinalize}}));
  log.clear();
  sound->RegisterNotifyEvent(&Record, &b);
  EXPECT_EQ(log, (std::vector<std::pair<int, int>>{{2, dsntInitialize}, {2, dsntRestore}}));

  log.clear();
  sound->Finalize();
  EXPECT_EQ(log, (std::vector<std::pair<int, int>>{{2, dsntFinalize}, {1, dsntFinalize}}));
  log.clear();
  delete sound;
  sound = nullptr;
  EXPECT_EQ(log, (std::vector<std::pair<int, int>>{{2, dsntDestroying}, {1, dsntDestroying}}));
}

TEST_F(WaveListTest, ComponentEventsFireAroundTheNotices) {
  std::vector<std::string> events;
  sound = new TDXSound(form);
  sound->OnInitializing = [&](TObject*) { events.push_back("initializing"); };
  sound->OnInitialize = [&](TObject*) { events.push_back("initialize"); };
  sound->OnRestore = [&](TObject*) { events.push_back("restore"); };
  sound->OnFinalize = [&](TObject*) { events.push_back("finalize"); };
  sound->Initialize();
  sound->Initialize();  // finalises first
  EXPECT_EQ(events, (std::vector<std::string>{"initializing", "initialize", "restore", "finalize",
                                              "initializing", "initialize", "restore"}));
  delete sound;  // finalises once more, while `events` still exists
  sound = nullptr;
  EXPECT_EQ(events.back(), "finalize");
  EXPECT_EQ(events.size(), 8u);
}

}  // namespace
