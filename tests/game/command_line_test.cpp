// The command line: every option, both forms of a value, and the reasons given for bad input.
#include "game/command_line.h"

#include <gtest/gtest.h>

using game::CommandLine;
using game::ParseCommandLine;

TEST(CommandLine, NoArgumentsChangeNothing) {
  CommandLine c;
  EXPECT_EQ(ParseCommandLine({}, c), "");
  EXPECT_FALSE(c.help);
  EXPECT_FALSE(c.version);
  EXPECT_FALSE(c.window);
  EXPECT_EQ(c.dataDir, "");
}

TEST(CommandLine, EachOptionSetsItsOwnField) {
  CommandLine c;
  EXPECT_EQ(ParseCommandLine({"--window", "--data", "/opt/kx data"}, c), "");
  EXPECT_TRUE(c.window);
  EXPECT_FALSE(c.help);
  EXPECT_FALSE(c.version);
  EXPECT_EQ(c.dataDir, "/opt/kx data");

  CommandLine h;
  EXPECT_EQ(ParseCommandLine({"--help"}, h), "");
  EXPECT_TRUE(h.help);
  EXPECT_FALSE(h.version);
  CommandLine v;
  EXPECT_EQ(ParseCommandLine({"--version", "--data=rel/dir"}, v), "");
  EXPECT_TRUE(v.version);
  EXPECT_FALSE(v.window);
  EXPECT_EQ(v.dataDir, "rel/dir");
}

TEST(CommandLine, BadArgumentsAreNamed) {
  CommandLine c;
  EXPECT_EQ(ParseCommandLine({"--window", "-x"}, c), "unknown argument: -x");
  EXPECT_EQ(ParseCommandLine({"window"}, c), "unknown argument: window");
  EXPECT_EQ(ParseCommandLine({"--help=yes"}, c), "unknown argument: --help=yes");
  EXPECT_EQ(ParseCommandLine({"--data"}, c), "option --data needs a value");
  EXPECT_EQ(ParseCommandLine({"--data="}, c), "option --data needs a value");
  // A value is taken as it is, even when it looks like an option.
  CommandLine d;
  EXPECT_EQ(ParseCommandLine({"--data", "--window"}, d), "");
  EXPECT_EQ(d.dataDir, "--window");
  EXPECT_FALSE(d.window);
}

TEST(CommandLine, TextsNameTheGameAndEveryOption) {
  EXPECT_EQ(game::VersionText().rfind("KobalTix 1.3 (build ", 0), 0u) << game::VersionText();
  EXPECT_GT(game::VersionText().size(), std::string("KobalTix 1.3 (build )").size());
  const std::string usage = game::UsageText();
  EXPECT_EQ(usage.rfind("Usage: kobaltix", 0), 0u);
  for (const char* o : {"--window", "--data DIR", "--help", "--version"})
    EXPECT_NE(usage.find(o), std::string::npos) << o;
}
