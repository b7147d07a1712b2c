#include <gtest/gtest.h>

#include <filesystem>

#include "console/console.h"
#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::RecordingInterpreter;
using testing::ScriptedTerminal;
using testing::TemporaryDirectory;

const std::string kEsc = "\x1b";

struct ColourFixture : ::testing::Test {
  TemporaryDirectory dir;
  ScriptedTerminal terminal;
  RecordingInterpreter commands;
  PosixFileSystem files;
  Console console{terminal, commands};

  ColourFixture() {
    console.useSettings(files, ConfigLocations{dir.file("config/rova"),
                                               {dir.file("config/rova/GRN.INI"), dir.file("GRN.INI")},
                                               {}});
  }
  std::string saved() { return dir.read("config/rova/GRN.INI"); }
  void choose(const std::string& answer) {
    terminal = ScriptedTerminal({answer});
    console.setScreenColours(' ');
  }
};

TEST_F(ColourFixture, EverySchemeSetsItsSequencesAndIsSaved) {
  const struct {
    const char* answer;
    const char* text;
    const char* typing;
    const char* digits;
  } cases[] = {
      {"", "[1;33;41m", "[1;37;41m", "P131171070\n"}, {"s", "[1;33;41m", "[1;37;41m", "P131171070\n"},
      {"D", "[1;33;43m", "[1;37;43m", "P133173070\n"}, {"f", "[1;32;40m", "[1;33;40m", "P120130070\n"},
      {"C", "[1;37;44m", "[1;33;44m", "P174134070\n"}, {"M", "[0;37;44m", "[1;33;44m", "P074134070\n"},
      {"o", "[0;34;46m", "[1;33;46m", "P046136070\n"}, {"T", "[0;30;47m", "[0;34;47m", "P007047070\n"},
      {"Q", "[0;37;44m", "[1;33;44m", "P074134070\n"},  // no scheme: the entry values, saved
  };
  for (const auto& c : cases) {
    choose(c.answer);
    EXPECT_EQ(console.colours.textColour, "+" + kEsc + c.text) << c.answer;
    EXPECT_EQ(console.colours.typingColour, " " + kEsc + c.typing) << c.answer;
    EXPECT_EQ(console.colours.exitColour, "+" + kEsc + "[0;37;40m");
    EXPECT_EQ(saved(), c.digits) << c.answer;
  }
  EXPECT_TRUE(terminal.showed("SCREEN COLORS: CODE  NAME    TEXT    SCREEN  TYPING"));
  EXPECT_TRUE(terminal.showed(std::string(22, ' ') + "O   Ocean * Blue    Cyan    Yellow"));
}

TEST_F(ColourFixture, ColoursOffAreSavedAsNulsAndSurviveARestart) {
  choose("x");
  EXPECT_FALSE(ScreenColours::isOn(console.colours.textColour));
  EXPECT_EQ(saved(), "P" + std::string(9, '\0') + "\n");
  terminal.records.clear();
  console.setScreenColours('I');
  EXPECT_FALSE(ScreenColours::isOn(console.colours.textColour));
  EXPECT_FALSE(ScreenColours::isOn(console.colours.typingColour));
  // Clearing the screen without colours writes empty lines.
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" ", " ", " ", std::string(40, ' '), " "}));

  choose("t");
  console.setScreenColours('I');
  EXPECT_EQ(console.colours.textColour, "+" + kEsc + "[0;30;47m");
  EXPECT_EQ(console.colours.typingColour, " " + kEsc + "[0;34;47m");
}

// A settings file kept elsewhere through a link (relative here, through a
// second link) stays a link; the file at its end gets the new choice, with
// the permissions the user gave it.
TEST_F(ColourFixture, ASettingsFileThatIsALinkIsFollowedToItsTarget) {
  std::filesystem::create_directories(dir.file("config/rova"));
  std::filesystem::create_directories(dir.file("dotfiles"));
  dir.write("dotfiles/grn.ini", "P131171070\n");
  std::filesystem::permissions(dir.file("dotfiles/grn.ini"), std::filesystem::perms::owner_read |
                                                                 std::filesystem::perms::owner_write);
  std::filesystem::create_symlink("grn.ini", dir.file("dotfiles/current.ini"));
  std::filesystem::create_symlink("../../dotfiles/current.ini", dir.file("config/rova/GRN.INI"));
  choose("T");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("config/rova/GRN.INI")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dotfiles/current.ini")));
  EXPECT_EQ(dir.read("dotfiles/grn.ini"), "P007047070\n");
  EXPECT_EQ(std::filesystem::status(dir.file("dotfiles/grn.ini")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("dotfiles")))
    EXPECT_NE(entry.path().filename().string().rfind(".rova-", 0), 0u) << entry.path();
}

// The settings file is written whole beside its name, never onto a file
// the run reads: with the configuration folder unusable, the fallback in
// the current folder is the input file here, and it is left alone.
TEST_F(ColourFixture, SettingsAreNeverSavedOntoTheInputFile) {
  dir.write("config", "a file where the folder should be");
  dir.write("GRN.INI", "FHX2 FORMAT\n");
  console.protectFromSettings(dir.file("GRN.INI"));
  choose("D");
  EXPECT_EQ(dir.read("GRN.INI"), "FHX2 FORMAT\n");
  Console other{terminal, commands};
  other.useSettings(files, ConfigLocations{"", {dir.file("GRN.INI")}, {}});
  terminal = ScriptedTerminal({"D"});
  other.setScreenColours(' ');
  EXPECT_EQ(dir.read("GRN.INI"), "P133173070\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().rfind(".rova-", 0), std::string::npos);
}

TEST_F(ColourFixture, StartUpWithoutSettingsIsMonochromeAndSavesNothing) {
  console.setScreenColours('I');
  EXPECT_EQ(console.colours.textColour, "+" + kEsc + "[0;37;44m");
  EXPECT_FALSE(dir.exists("config/rova/GRN.INI"));
  EXPECT_FALSE(dir.exists("GRN.INI"));
}

TEST_F(ColourFixture, BothLineFormsOfTheSettingsFileAreRead) {
  dir.write("GRN.INI", "P007047070\n");
  console.setScreenColours('I');
  EXPECT_EQ(console.colours.textColour, "+" + kEsc + "[0;30;47m");
  EXPECT_EQ(console.colours.typingColour, " " + kEsc + "[0;34;47m");
  EXPECT_EQ(console.colours.exitColour, "+" + kEsc + "[0;37;40m");

  // Sequence form: position 2 is made ESC whatever the file holds there.
  dir.write("GRN.INI", "S+#[1;32;40m\nT #[0;31;47m\nX+#[0;37;41m\n");
  console.setScreenColours('I');
  EXPECT_EQ(console.colours.textColour, "+" + kEsc + "[1;32;40m");
  EXPECT_EQ(console.colours.typingColour, " " + kEsc + "[0;31;47m");
  EXPECT_EQ(console.colours.exitColour, "+" + kEsc + "[0;37;41m");
  EXPECT_EQ(dir.read("GRN.INI"), "S+#[1;32;40m\nT #[0;31;47m\nX+#[0;37;41m\n");  // not rewritten
}

TEST_F(ColourFixture, UnusableSettingsKeepTheEntryValues) {
  for (const std::string& bad : {std::string("\x93\xff\x01garbage\n\x7f"), std::string("P12"),
                                std::string("S+#[1;32;40;rm -rf\n"), std::string("Zunknown\n"),
                                std::string("P1a2b3c4d5\n"), std::string("")}) {
    dir.write("GRN.INI", bad);
    console.setScreenColours('I');
    EXPECT_EQ(console.colours.textColour, "+" + kEsc + "[0;37;44m") << bad;
    EXPECT_EQ(console.colours.typingColour, " " + kEsc + "[1;33;44m") << bad;
  }
}

TEST_F(ColourFixture, SlashAtTheColourMenuEndsTheProgram) {
  terminal = ScriptedTerminal({"/"});
  EXPECT_THROW(console.setScreenColours(' '), ProgramStop);
  EXPECT_EQ(console.colours.textColour, console.colours.exitColour);
}

// Every choice of colours tells the interrupt handling how to give the
// screen its plain colours back; with colours off nothing is to restore.
TEST_F(ColourFixture, InterruptsAreToldTheSequenceThatRestoresTheScreen) {
  testing::RecordingInterrupts interrupts;
  console.tellInterrupts(&interrupts);
  choose("D");
  choose("x");
  Console plain{terminal, commands};
  plain.allowColours(false);
  plain.tellInterrupts(&interrupts);
  plain.setScreenColours('I');
  EXPECT_EQ(interrupts.sequences, (std::vector<std::string>{kEsc + "[0;37;40m", "", ""}));
}

TEST(ConfigLocationsTest, XdgHomeOrHomeThenTheCurrentDirectory) {
  auto a = standardConfigLocations("/x/cfg", "/home/u", "/usr/bin/rova");
  EXPECT_EQ(a.configDirectory, "/x/cfg/rova");
  EXPECT_EQ(a.settingsFiles, (std::vector<std::string>{"/x/cfg/rova/GRN.INI", "GRN.INI"}));
  EXPECT_EQ(a.sayingsFiles.front(), "/x/cfg/rova/DICHOS.TXT");
  EXPECT_EQ(a.sayingsFiles.back().substr(a.sayingsFiles.back().size() - 16), "/rova/DICHOS.TXT");
  auto b = standardConfigLocations("relative", "/home/u", "");
  EXPECT_EQ(b.configDirectory, "/home/u/.config/rova");
  auto c = standardConfigLocations(nullptr, nullptr, "");
  EXPECT_EQ(c.settingsFiles, (std::vector<std::string>{"GRN.INI"}));
}

}  // namespace
}  // namespace rova
