// The player's settings: where the file lives, how it is read (also when damaged) and rewritten
// (unknown keys and comments kept), the command line's --lang and --settings, and in the game the
// music keys with their note, the volumes handed to the music and the effects, and the saving.
#include "game/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "game/command_line.h"
#include "support/game_harness.h"
#include "support/scratch_dir.h"
#include "support/scripted_player.h"
#include "toolkit/translate.h"

namespace fs = std::filesystem;
using game::FormatSettings;
using game::ParseSettings;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The settings in force and the file the game saves to, as they were before the test.
struct SettingsBack {
  ~SettingsBack() {
    Settings = TSettings{};
    game::SettingsFileInUse.clear();
  }
};

// A game played until its first sound effect.
void PlayUntilASound(GameHarness& g) {
  g.NewGameFromMenu();
  ScriptedPlayer p(g);
  p.PlayUntil([&] { return !g.hl.audio->Plays().empty(); }, 3000);
}

}  // namespace

TEST(Settings, FileFollowsTheBaseDirectoryRules) {
  EXPECT_EQ(game::SettingsFileFor("/x/conf", "/home/p"), "/x/conf/kobaltix/settings.ini");
  EXPECT_EQ(game::SettingsFileFor("", "/home/p"), "/home/p/.config/kobaltix/settings.ini");
  EXPECT_EQ(game::SettingsFileFor("relative", "/home/p"), "/home/p/.config/kobaltix/settings.ini");
  EXPECT_EQ(game::SettingsFileFor("", ""), "");
}

TEST(Settings, EveryKeyIsReadAndWrittenBack) {
  TSettings s;
  const auto warnings = ParseSettings(
      "music_volume = 70\nmusic_mute = yes\neffects_volume=35\n  EFFECTS_MUTE = on  \r\n"
      "fullscreen = no\nmouse_sensitivity = 2.5\nlanguage = en\n",
      s);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  EXPECT_EQ(s.MusicVolume, 70);
  EXPECT_TRUE(s.MusicMuted);
  EXPECT_EQ(s.EffectsVolume, 35);
  EXPECT_TRUE(s.EffectsMuted);
  EXPECT_FALSE(s.FullScreen);
  EXPECT_DOUBLE_EQ(s.MouseSensitivity, 2.5);
  EXPECT_EQ(s.Language, "en");

  TSettings back;
  EXPECT_TRUE(ParseSettings(FormatSettings("", s), back).empty());
  EXPECT_EQ(back.MusicVolume, 70);
  EXPECT_TRUE(back.MusicMuted);
  EXPECT_EQ(back.EffectsVolume, 35);
  EXPECT_TRUE(back.EffectsMuted);
  EXPECT_FALSE(back.FullScreen);
  EXPECT_DOUBLE_EQ(back.MouseSensitivity, 2.5);
  EXPECT_EQ(back.Language, "en");
}

TEST(Settings, DamagedFileIsReadAsFarAsItGoes) {
  TSettings s;
  const std::string text = std::string("music_volume = 40\n") + "this is no setting\n" +  // line 2
                           "effects_volume = loud\n" +                                    // line 3
                           "music_volume = 250\n" +                  // line 4: limited to 100
                           std::string("fullscreen = n\0o\n", 17) +  // line 5
                           "language = en_US!\n" +                   // line 6
                           "mouse_sensitivity = nan\n" +             // line 7
                           "effects_mute = yes";                     // no line end
  const auto warnings = ParseSettings(text, s);
  ASSERT_EQ(warnings.size(), 6u);
  EXPECT_EQ(warnings[0].rfind("line 2:", 0), 0u) << warnings[0];
  EXPECT_EQ(warnings[1].rfind("line 3:", 0), 0u) << warnings[1];
  EXPECT_EQ(warnings[2].rfind("line 4:", 0), 0u) << warnings[2];
  EXPECT_EQ(warnings[3].rfind("line 5:", 0), 0u) << warnings[3];
  EXPECT_EQ(s.MusicVolume, 100);
  EXPECT_EQ(s.EffectsVolume, 100);  // the bad value left the default
  EXPECT_TRUE(s.FullScreen);
  EXPECT_EQ(s.Language, "");
  EXPECT_DOUBLE_EQ(s.MouseSensitivity, 1.0);
  EXPECT_TRUE(s.EffectsMuted);  // read past every damaged line
}

TEST(Settings, NumbersAreLimitedToTheirRanges) {
  TSettings s;
  EXPECT_EQ(ParseSettings("mouse_sensitivity = 0\nmusic_volume = -5\n", s).size(), 2u);
  EXPECT_DOUBLE_EQ(s.MouseSensitivity, 0.1);
  EXPECT_EQ(s.MusicVolume, 0);
  EXPECT_EQ(ParseSettings("mouse_sensitivity = 50\neffects_volume = 101\n", s).size(), 2u);
  EXPECT_DOUBLE_EQ(s.MouseSensitivity, 10.0);
  EXPECT_EQ(s.EffectsVolume, 100);
  EXPECT_TRUE(ParseSettings("mouse_sensitivity = 0.1\nmouse_sensitivity=10\n", s).empty());
  EXPECT_DOUBLE_EQ(s.MouseSensitivity, 10.0);
}

TEST(Settings, RewriteKeepsCommentsUnknownKeysAndOrder) {
  TSettings s;
  s.MusicVolume = 30;
  s.Language = "ru";
  const std::string old =
      "# my settings\n"
      "[kobaltix]\n"
      "language = en\n"
      "future_key = keep me\n"
      "music_volume = 90\n"
      "garbage\n"
      "music_volume = 10\n";
  EXPECT_EQ(FormatSettings(old, s),
            "# my settings\n"
            "[kobaltix]\n"
            "language = ru\n"
            "future_key = keep me\n"
            "music_volume = 30\n"
            "garbage\n"
            "music_mute = no\n"
            "effects_volume = 100\n"
            "effects_mute = no\n"
            "fullscreen = yes\n"
            "mouse_sensitivity = 1\n");
}

TEST(Settings, LoadAndSaveThroughTheSafeWriter) {
  SettingsBack back;
  ScratchDir dir;
  const std::string path = dir / "conf/kobaltix/settings.ini";
  game::LoadSettings(path);  // no file: the defaults, nothing made
  EXPECT_EQ(Settings.MusicVolume, 100);
  EXPECT_FALSE(fs::exists(path));

  Settings.EffectsVolume = 55;
  ASSERT_TRUE(game::SaveSettings(path));  // the folders are made
  EXPECT_EQ(ReadAll(path).find("effects_volume = 55\n") != std::string::npos, true);
  WriteAll(path, "# kept\nx = 1\n" + ReadAll(path));
  Settings = TSettings{};
  game::LoadSettings(path);
  EXPECT_EQ(Settings.EffectsVolume, 55);
  Settings.EffectsVolume = 60;
  ASSERT_TRUE(game::SaveSettings(path));
  const std::string text = ReadAll(path);
  EXPECT_EQ(text.rfind("# kept\nx = 1\n", 0), 0u) << text;
  EXPECT_NE(text.find("effects_volume = 60\n"), std::string::npos);
  EXPECT_EQ(fs::directory_iterator(fs::path(path).parent_path()) == fs::directory_iterator(),
            false);
  size_t files = 0;
  for (auto& e : fs::directory_iterator(fs::path(path).parent_path())) files += e.exists();
  EXPECT_EQ(files, 1u);  // no temporary file left beside it

  // Something that is not a settings file is neither read nor written over.
  const std::string folder = dir / "folder.ini";
  fs::create_directory(folder);
  Settings = TSettings{};
  game::LoadSettings(folder);
  EXPECT_EQ(Settings.EffectsVolume, 100);
  EXPECT_FALSE(game::SaveSettings(folder));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(game::SaveSettings(""));
}

TEST(Settings, CommandLineNamesTheLanguageAndAsksForThePath) {
  game::CommandLine c;
  EXPECT_EQ(game::ParseCommandLine({"--lang", "en", "--settings"}, c), "");
  EXPECT_EQ(c.lang, "en");
  EXPECT_TRUE(c.settings);
  game::CommandLine d;
  EXPECT_EQ(game::ParseCommandLine({"--lang=ru"}, d), "");
  EXPECT_EQ(d.lang, "ru");
  EXPECT_FALSE(d.settings);
  game::CommandLine e;
  EXPECT_EQ(game::ParseCommandLine({"--lang"}, e), "option --lang needs a value");
  EXPECT_NE(game::ParseCommandLine({"--settings=x"}, e), "");
  EXPECT_NE(game::UsageText().find("--lang CODE"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// In the game

TEST(SettingsInGame, DefaultsPlayAtFullVolumeAndWriteNothing) {
  SettingsBack back;
  ScratchDir dir;
  game::SettingsFileInUse = dir / "settings.ini";
  GameHarness g;
  g.Start();
  PlayUntilASound(g);
  EXPECT_EQ(g.hl.music->Volume(), 128);
  ASSERT_FALSE(g.hl.audio->Plays().empty());
  for (const auto& p : g.hl.audio->Plays()) EXPECT_EQ(g.hl.audio->ChannelVolume(p.channel), 128);
  g.Frames(TMainForm::kNoteFrames + 5, 16);
  EXPECT_EQ(MainForm->Note(), "");
  EXPECT_FALSE(fs::exists(game::SettingsFileInUse));
}

TEST(SettingsInGame, MusicKeysChangeTheVolumeShowANoteAndSaveOnce) {
  SettingsBack back;
  ScratchDir dir;
  game::SettingsFileInUse = dir / "settings.ini";
  GameHarness g;
  g.Start();
  g.Press(platform::VK_OEM_MINUS);
  g.Press(platform::VK_SUBTRACT);
  g.Press(platform::VK_OEM_MINUS);
  g.Frame(16);
  EXPECT_EQ(Settings.MusicVolume, 70);
  EXPECT_EQ(g.hl.music->Volume(), 90);  // 70 % of 128
  EXPECT_EQ(MainForm->Note(), "Музыка: 70 %");
  g.Press(platform::VK_ADD);
  EXPECT_EQ(MainForm->Note(), "Музыка: 80 %");
  g.Press('M');
  EXPECT_TRUE(Settings.MusicMuted);
  EXPECT_EQ(g.hl.music->Volume(), 0);
  EXPECT_EQ(MainForm->Note(), "Музыка выключена");
  g.Frames(TMainForm::kNoteFrames - 5, 16);
  EXPECT_FALSE(fs::exists(game::SettingsFileInUse));  // not while the player is still at it
  g.Frames(10, 16);
  EXPECT_EQ(MainForm->Note(), "");
  TSettings saved;
  EXPECT_TRUE(ParseSettings(ReadAll(game::SettingsFileInUse), saved).empty());
  EXPECT_EQ(saved.MusicVolume, 80);
  EXPECT_TRUE(saved.MusicMuted);
  g.Press(platform::VK_OEM_PLUS);  // a volume key unmutes
  EXPECT_FALSE(Settings.MusicMuted);
  EXPECT_EQ(g.hl.music->Volume(), 115);  // 90 % of 128
  for (int i = 0; i < 5; ++i) g.Press(platform::VK_OEM_PLUS);
  EXPECT_EQ(Settings.MusicVolume, 100);  // never past full
  EXPECT_EQ(g.hl.music->Volume(), 128);
}

TEST(SettingsInGame, EffectsVolumeReachesEveryPlayAndTheConsoleTypesFreely) {
  SettingsBack back;
  Settings.EffectsVolume = 50;
  GameHarness g;
  g.Start();
  PlayUntilASound(g);
  ASSERT_FALSE(g.hl.audio->Plays().empty());
  for (const auto& p : g.hl.audio->Plays()) {
    EXPECT_EQ(g.hl.audio->ChannelVolume(p.channel), 64);  // half the loudness
  }
  // In the cheat console the keys are typing, not volume.
  g.Type("`");
  g.Press(platform::VK_OEM_MINUS);
  g.Press('M');
  EXPECT_EQ(Settings.MusicVolume, 100);
  EXPECT_FALSE(Settings.MusicMuted);
  EXPECT_EQ(MainForm->Note(), "");
}

TEST(SettingsInGame, EffectsMutedAreSilentAndTheNoteSpeaksEnglish) {
  SettingsBack back;
  Settings.EffectsMuted = true;
  toolkit::SetLanguage("en");
  GameHarness g;
  g.Start();
  PlayUntilASound(g);
  ASSERT_FALSE(g.hl.audio->Plays().empty());
  for (const auto& p : g.hl.audio->Plays()) EXPECT_EQ(g.hl.audio->ChannelVolume(p.channel), 0);
  g.Press(platform::VK_OEM_MINUS);
  EXPECT_EQ(MainForm->Note(), "Music: 90%");
  toolkit::SetLanguage("ru");
}
