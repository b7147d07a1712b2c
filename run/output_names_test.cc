// The names a dialogue run reads and writes: the overwrite dialogue, names
// that are refused because they are the input or another output, names as
// typed, and the files the closing notes name.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/memory_file_system.h"
#include "tests/dialogue_run.h"

namespace rova {
namespace {

const char* const kData = "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n|U\nUU\n";
const std::string kOld = "the old file\n";

struct OutputNames : ::testing::Test, testing::DialogueRun {
  OutputNames() { dir.write("IN.FHX", kData); }
  // The answers from the title to the end of the menu: 3 simulations.
  std::vector<std::string> menu(std::vector<std::string> after) {
    std::vector<std::string> answers{"", "3", "3", "5", ""};
    answers.insert(answers.end(), after.begin(), after.end());
    return answers;
  }
  std::vector<std::string> all(const std::string& job, std::vector<std::string> after) {
    std::vector<std::string> answers{job, "IN.FHX"};
    for (const std::string& a : menu(std::move(after))) answers.push_back(a);
    return answers;
  }
  int count(const std::string& text) const {
    int n = 0;
    for (const std::string& line : terminal.shown()) n += line.find(text) != std::string::npos;
    return n;
  }
  bool noTemporaries() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind(".rova-", 0) == 0) return false;
    return true;
  }
};

// "N" and the name of another existing file asks about that file too,
// instead of replacing it without a word.
TEST_F(OutputNames, ANewNameThatExistsIsAskedAboutAgain) {
  dir.write("ZZRVA.OUT", kOld);
  dir.write("OTHER.OUT", kOld);
  ASSERT_EQ(run(all("ZZ", {"N", "OTHER.OUT", "N", "FRESH.OUT"})), 0);
  EXPECT_EQ(count("Cannot open new file ZZRVA.OUT     6"), 1);
  EXPECT_EQ(count("Cannot open new file OTHER.OUT     6"), 1);
  EXPECT_EQ(dir.read("ZZRVA.OUT"), kOld);
  EXPECT_EQ(dir.read("OTHER.OUT"), kOld);
  EXPECT_NE(dir.read("FRESH.OUT").find("EFFECT OF SAMPLE SIZE"), std::string::npos);
  EXPECT_TRUE(terminal.showed("New files: FRESH.OUT for printing"));
  // The report names itself as it was written.
  EXPECT_NE(dir.read("FRESH.OUT").find("\n        6  Output:  FRESH.OUT for printing\n"
                                       "                    ZZ   RVADF.XLn  spreadsheet files\n"),
            std::string::npos);
}

TEST_F(OutputNames, TheInputFileIsNeverAnOutput) {
  dir.write("ZZRVA.OUT", kOld);
  ASSERT_EQ(run(all("ZZ", {"N", "IN.FHX", "./IN.FHX", "NEW.OUT"})), 0);
  EXPECT_EQ(count(">> IN.FHX: it is the input file; give another name"), 1);
  EXPECT_EQ(count(">> ./IN.FHX: it is the input file; give another name"), 1);
  EXPECT_EQ(dir.read("IN.FHX"), kData);
  EXPECT_TRUE(dir.exists("NEW.OUT"));
}

// The report and a spreadsheet file, or the two spreadsheet files, can
// never be written into one file.
TEST_F(OutputNames, TwoOutputsOfTheRunNeverShareAFile) {
  dir.write("ZZRVADF.XL1", kOld);
  dir.write("ZZRVADF.XL2", kOld);
  ASSERT_EQ(run(all("ZZ", {"N", "ZZRVA.OUT", "ONE.XL", "N", "ONE.XL", "TWO.XL"})), 0);
  EXPECT_EQ(count("ZZRVA.OUT: another output of this run has that name; give another name"), 1);
  EXPECT_EQ(count("ONE.XL: another output of this run has that name; give another name"), 1);
  EXPECT_NE(dir.read("ZZRVA.OUT").find("EFFECT OF SAMPLE SIZE"), std::string::npos);
  EXPECT_NE(dir.read("ONE.XL"), dir.read("TWO.XL"));
  EXPECT_EQ(dir.read("ZZRVADF.XL1"), kOld);
  EXPECT_TRUE(terminal.showed("ONE.XL  for importation into spreadsheets"));
  EXPECT_TRUE(terminal.showed("TWO.XL  for importation into spreadsheets"));
  EXPECT_NE(dir.read("ZZRVA.OUT").find("\n        6  Output:  ZZ   RVA.OUT for printing\n"
                                       "                    ONE.XL  spreadsheet file\n"
                                       "                    TWO.XL  spreadsheet file\n"),
            std::string::npos);
}

// Enter at the input file name gives nothing to read: the name is asked
// again. A menu answer that is no option says so before the menu returns.
TEST_F(OutputNames, AnEmptyInputNameAndAnswersThatAreNoOptionAreSaid) {
  ASSERT_EQ(run({"ZZ", "", "  ", "IN.FHX", "", "8", "x", "3", "3", "5", ""}), 0);
  EXPECT_EQ(count(">> A file name is needed: type the name of the fire-history file"), 2);
  EXPECT_EQ(count("... Name of EXISTING INPUT file"), 3);
  EXPECT_EQ(count(">> No option of the menu: give a number from 1 to 7, or Enter to proceed"), 2);
  EXPECT_NE(dir.read("ZZRVA.OUT").find(" Fire events file: IN.FHX"), std::string::npos);
}

TEST_F(OutputNames, NamesAreUsedAsTypedAndTooLongNamesAreAskedAgain) {
  dir.write("my data.fhx", kData);
  const std::string longName(41, 'x');
  ASSERT_EQ(run({"ab", longName, "  my data.fhx  ", "", "3", "3", "5", ""}), 0);
  EXPECT_TRUE(terminal.showed(">> A file name may have at most 40 characters; this one has  41"));
  EXPECT_TRUE(terminal.showed("FIRE2:  1800  1802     3 years     2 series"));
  EXPECT_NE(dir.read("ABRVA.OUT").find("my data.fhx"), std::string::npos);
  EXPECT_FALSE(dir.exists(longName.substr(0, 40)));
}

// A short job identifier leaves no blanks in the names on disk, and the
// closing notes name the files as they are there.
TEST_F(OutputNames, ClosingNotesNameTheFilesAsOnDisk) {
  ASSERT_EQ(run(all("DLG", {})), 0);
  EXPECT_TRUE(terminal.showed("New files: DLGRVA.OUT for printing"));
  EXPECT_TRUE(terminal.showed("DLGRVADF.XLn  for importation into spreadsheets"));
  EXPECT_TRUE(dir.exists("DLGRVA.OUT"));
}

// Answers from a pipe: a failed open ends the run, so that an answer out
// of step never reaches the shell as a command.
TEST_F(OutputNames, APipedAnswerAfterAFailedOpenIsNeverACommand) {
  ASSERT_EQ(run({"ab", "MISSING.FHX", "rm -rf everything", "IN.FHX", ""}, true, false), 1);
  EXPECT_TRUE(commands.commands.empty());
  EXPECT_TRUE(said("Cannot open file MISSING.FHX"));
  EXPECT_FALSE(terminal.showed("Pause - Please enter"));
  EXPECT_FALSE(dir.exists("ABRVA.OUT"));
  // A person at the keyboard gets the pause and the command.
  ASSERT_EQ(run({"ab", "MISSING.FHX", "ls", "IN.FHX", "", "3", "3", "5", ""}), 0);
  EXPECT_EQ(commands.commands, std::vector<std::string>{"ls"});
}

// A whole dialogue on a file system that fails at one step: the old
// report stays as it was, no spreadsheet file appears, no temporary file
// is left, and the run says what failed.
TEST(OutputFailures, AFailedRunLeavesTheOldFilesAndNoTemporary) {
  using Step = MemoryFileSystem::Step;
  for (Step step : {Step::kCreate, Step::kWrite, Step::kClose, Step::kRename}) {
    MemoryFileSystem files;
    files.addFile("IN.FHX", kData);
    files.addFile("ZZRVA.OUT", kOld);
    files.failAt(step, 2, "No space left on device");
    testing::ScriptedTerminal terminal({"ZZ", "IN.FHX", "", "3", "3", "5", "", "Y"});
    testing::FixedClock clock(LocalTime{2026, 12, 8, 9, 0, 0});
    testing::RecordingInterpreter commands;
    Platform platform{terminal, files, clock, commands, ConfigLocations{}, false};
    const int status = runRova(platform);
    std::string report;
    ASSERT_TRUE(files.contents("ZZRVA.OUT", report));
    for (const std::string& name : files.names()) EXPECT_EQ(name.find(".rova-"), std::string::npos) << name;
    if (step == Step::kCreate) {
      // The second file could not be started: the dialogue asks again and
      // the answers end before the run is complete.
      EXPECT_EQ(status, 1);
      EXPECT_EQ(report, kOld);
      continue;
    }
    EXPECT_EQ(status, 1) << static_cast<int>(step);
    // A failed rename too: the new spreadsheet files go in place before
    // the report is replaced, and the one placed is taken back.
    EXPECT_EQ(report, kOld) << static_cast<int>(step);
    EXPECT_NE(terminal.errors.back().find("no file was written or replaced"), std::string::npos)
        << terminal.errors.back();
    EXPECT_FALSE(files.exists("ZZRVADF.XL1"));
    EXPECT_FALSE(files.exists("ZZRVADF.XL2"));
  }
}

}  // namespace
}  // namespace rova
