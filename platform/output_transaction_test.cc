#include "platform/output_transaction.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/memory_file_system.h"

namespace rova {
namespace {

using Refusal = OutputTransaction::Refusal;
using Step = MemoryFileSystem::Step;

std::string read(const MemoryFileSystem& files, const std::string& name) {
  std::string bytes;
  return files.contents(name, bytes) ? bytes : "<absent>";
}

// Names that hold a temporary file of a run.
int temporaries(const MemoryFileSystem& files) {
  int count = 0;
  for (const std::string& name : files.names())
    if (name.find(".rova-") != std::string::npos) ++count;
  return count;
}

// Two outputs written into a folder that already holds an old report.
struct TwoOutputs {
  TwoOutputs() {
    files.addFile("A.OUT", "old report\n");
    files.addFile("INPUT.FHX", "data\n");
  }
  bool stageAndWrite(OutputTransaction& outputs) {
    OutputText* report = outputs.stage("A.OUT", true).text;
    OutputText* sheet = outputs.stage("A.XL1", false).text;
    if (report == nullptr || sheet == nullptr) return false;
    report->writeLine("new report");
    sheet->writeLine("row");
    return true;
  }
  MemoryFileSystem files;
};

TEST(OutputTransaction, NothingAppearsBeforeCommitAndEverythingAfter) {
  TwoOutputs t;
  OutputTransaction outputs(t.files);
  ASSERT_TRUE(t.stageAndWrite(outputs));
  EXPECT_EQ(read(t.files, "A.OUT"), "old report\n");
  EXPECT_EQ(read(t.files, "A.XL1"), "<absent>");
  EXPECT_EQ(temporaries(t.files), 2);

  const OutputTransaction::CommitResult result = outputs.commit();
  ASSERT_TRUE(result.ok) << result.failure;
  EXPECT_EQ(result.written, (std::vector<std::string>{"A.OUT", "A.XL1"}));
  EXPECT_EQ(read(t.files, "A.OUT"), "new report\n");
  EXPECT_EQ(read(t.files, "A.XL1"), "row\n");
  EXPECT_EQ(temporaries(t.files), 0);
}

// A failure at any step before the renames leaves the old files exactly
// as they were and no temporary file.
TEST(OutputTransaction, EveryFailureBeforeTheRenamesChangesNothing) {
  for (Step step : {Step::kCreate, Step::kWrite, Step::kClose}) {
    for (int count : {1, 2}) {
      SCOPED_TRACE("step " + std::to_string(static_cast<int>(step)) + ", call " + std::to_string(count));
      TwoOutputs t;
      t.files.failAt(step, count, "No space left on device");
      {
        OutputTransaction outputs(t.files);
        if (t.stageAndWrite(outputs)) {
          const OutputTransaction::CommitResult result = outputs.commit();
          EXPECT_FALSE(result.ok);
          EXPECT_TRUE(result.written.empty());
          EXPECT_NE(result.failure.find("No space left on device"), std::string::npos) << result.failure;
        }
      }
      EXPECT_EQ(read(t.files, "A.OUT"), "old report\n");
      EXPECT_EQ(read(t.files, "A.XL1"), "<absent>");
      EXPECT_EQ(temporaries(t.files), 0);
    }
  }
}

// Binary bytes (a PNG chart) go in as they are, beside lines; a failed
// write of them fails the commit like a failed line.
TEST(OutputTransaction, BytesAreWrittenAsTheyAreAndTheirFailureCounts) {
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  {
    TwoOutputs t;
    OutputTransaction outputs(t.files);
    OutputText* chart = outputs.stage("A.png", false).text;
    ASSERT_NE(chart, nullptr);
    chart->write(png);
    chart->write("");
    chart->write(png);
    ASSERT_TRUE(outputs.commit().ok);
    EXPECT_EQ(read(t.files, "A.png"), png + png);
  }
  TwoOutputs t;
  t.files.failAt(Step::kWrite, 2, "No space left on device");
  OutputTransaction outputs(t.files);
  OutputText* chart = outputs.stage("A.png", false).text;
  ASSERT_NE(chart, nullptr);
  chart->write(png);
  chart->write(png);
  const OutputTransaction::CommitResult result = outputs.commit();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(read(t.files, "A.png"), "<absent>");
  EXPECT_EQ(temporaries(t.files), 0);
}

// New names are placed before old files are replaced: a failure among them
// takes back the new files already placed, and nothing has changed. Only
// a failure after a replacement leaves files in place, and names them.
TEST(OutputTransaction, AFailedRenameChangesNothingOrNamesTheFilesInPlace) {
  {
    TwoOutputs t;
    t.files.failAt(Step::kRename, 2, "No such device");  // the replacement of A.OUT
    OutputTransaction outputs(t.files);
    ASSERT_TRUE(t.stageAndWrite(outputs));
    const OutputTransaction::CommitResult result = outputs.commit();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.written, std::vector<std::string>{});
    EXPECT_EQ(result.failure, "cannot write A.OUT: No such device");
    EXPECT_EQ(read(t.files, "A.OUT"), "old report\n");
    EXPECT_EQ(read(t.files, "A.XL1"), "<absent>");
    EXPECT_EQ(temporaries(t.files), 0);
  }
  TwoOutputs t;
  t.files.addFile("B.OUT", "old second report\n");
  t.files.failAt(Step::kRename, 3, "No such device");  // the replacement of B.OUT
  OutputTransaction outputs(t.files);
  ASSERT_TRUE(t.stageAndWrite(outputs));
  OutputText* second = outputs.stage("B.OUT", true).text;
  ASSERT_NE(second, nullptr);
  second->writeLine("new second report");
  const OutputTransaction::CommitResult result = outputs.commit();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.written, (std::vector<std::string>{"A.OUT", "A.XL1"}));
  EXPECT_EQ(result.failure, "cannot write B.OUT: No such device");
  EXPECT_EQ(read(t.files, "A.OUT"), "new report\n");
  EXPECT_EQ(read(t.files, "A.XL1"), "row\n");
  EXPECT_EQ(read(t.files, "B.OUT"), "old second report\n");
  EXPECT_EQ(temporaries(t.files), 0);
}

// An interrupt can come at any step; the run then unwinds and its
// transaction is destroyed without commit.
TEST(OutputTransaction, AnInterruptAtAnyStepLeavesNoTemporaryAndNoChange) {
  for (Step step : {Step::kCreate, Step::kWrite, Step::kClose, Step::kRename}) {
    TwoOutputs t;
    bool interrupted = false;
    t.files.onStep([step, &interrupted](Step now) {
      if (now != step || interrupted) return;
      interrupted = true;
      throw std::runtime_error("interrupted");
    });
    try {
      OutputTransaction outputs(t.files);
      t.stageAndWrite(outputs);
      outputs.commit();
    } catch (const std::runtime_error&) {
    }
    t.files.onStep({});
    EXPECT_TRUE(interrupted) << static_cast<int>(step);
    EXPECT_EQ(read(t.files, "A.OUT"), "old report\n") << static_cast<int>(step);
    EXPECT_EQ(read(t.files, "A.XL1"), "<absent>");
    EXPECT_EQ(temporaries(t.files), 0);
  }
}

TEST(OutputTransaction, RefusesNamesThatAreNoOutputsOfThisRun) {
  MemoryFileSystem files;
  files.addFile("INPUT.FHX", "data\n");
  files.addLink("LINK.OUT", "INPUT.FHX");
  files.addFile("OLD.OUT", "old\n");
  files.addFolder("FOLDER.OUT");
  files.addFolder("locked");
  files.setReadOnly("locked");
  OutputTransaction outputs(files);
  outputs.protect("INPUT.FHX");
  ASSERT_NE(outputs.stage("R.OUT", false).text, nullptr);

  struct Case {
    const char* name;
    bool replace;
    Refusal refusal;
  };
  for (const Case& c : {Case{"INPUT.FHX", true, Refusal::kInputFile},
                        Case{"LINK.OUT", true, Refusal::kInputFile},
                        Case{"./INPUT.FHX", true, Refusal::kInputFile},
                        Case{"R.OUT", true, Refusal::kOtherOutput},
                        Case{"OLD.OUT", false, Refusal::kExists},
                        Case{"FOLDER.OUT", true, Refusal::kNotReplaceable},
                        Case{"locked/X.OUT", true, Refusal::kNotReplaceable},
                        Case{"nowhere/X.OUT", true, Refusal::kNotReplaceable},
                        Case{"", true, Refusal::kNotReplaceable}}) {
    const OutputTransaction::Staged staged = outputs.stage(c.name, c.replace);
    EXPECT_EQ(staged.text, nullptr) << c.name;
    EXPECT_EQ(staged.refusal, c.refusal) << c.name << ": " << staged.reason;
  }
  EXPECT_NE(outputs.stage("OLD.OUT", true).text, nullptr);
  EXPECT_TRUE(outputs.commit().ok);
  EXPECT_EQ(read(files, "INPUT.FHX"), "data\n");
}

TEST(OutputTransaction, ReplacesALinkItselfNeverItsTarget) {
  MemoryFileSystem files;
  files.addFile("precious.txt", "not ROVA's\n");
  files.addLink("A.OUT", "precious.txt");
  OutputTransaction outputs(files);
  OutputText* text = outputs.stage("A.OUT", true).text;
  ASSERT_NE(text, nullptr);
  text->writeLine("report");
  ASSERT_TRUE(outputs.commit().ok);
  EXPECT_FALSE(files.isLink("A.OUT"));
  EXPECT_EQ(read(files, "A.OUT"), "report\n");
  EXPECT_EQ(read(files, "precious.txt"), "not ROVA's\n");
}

// A name that was free when staged but taken before the commit is found
// before the first rename: nothing is replaced.
TEST(OutputTransaction, ChecksEveryFinalNameAgainBeforeTheFirstRename) {
  MemoryFileSystem files;
  OutputTransaction outputs(files);
  outputs.stage("A.OUT", false).text->writeLine("a");
  outputs.stage("B.OUT", false).text->writeLine("b");
  files.addFile("B.OUT", "someone else's\n");
  const OutputTransaction::CommitResult result = outputs.commit();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.failure, "cannot write B.OUT: it exists");
  EXPECT_EQ(read(files, "A.OUT"), "<absent>");
  EXPECT_EQ(read(files, "B.OUT"), "someone else's\n");
  EXPECT_EQ(temporaries(files), 0);
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

// FAT, exFAT and many SMB mounts have no hard links; some kernels and file
// systems cannot rename without replacing either. New outputs still
// appear, and what exists is still never replaced.
TEST(OutputTransaction, NewOutputsAppearWithoutHardLinksAndNeverReplace) {
  for (bool noReplaceRename : {true, false}) {
    TwoOutputs t;
    t.files.lackHardLinks();
    if (!noReplaceRename) t.files.lackNoReplaceRename();
    OutputTransaction outputs(t.files);
    ASSERT_TRUE(t.stageAndWrite(outputs));
    const OutputTransaction::CommitResult result = outputs.commit();
    ASSERT_TRUE(result.ok) << result.failure;
    EXPECT_EQ(read(t.files, "A.OUT"), "new report\n");
    EXPECT_EQ(read(t.files, "A.XL1"), "row\n");
    EXPECT_EQ(temporaries(t.files), 0);
  }
  // A file of that name that appears after the last check, as the renames
  // begin, stays as it is: the exclusive create of the name refuses it,
  // before any old file is replaced.
  TwoOutputs t;
  t.files.lackHardLinks();
  t.files.lackNoReplaceRename();
  bool added = false;
  t.files.onStep([&](Step step) {
    if (step == Step::kRename && !added) t.files.addFile("A.XL1", "someone's rows\n");
    added = added || step == Step::kRename;
  });
  OutputTransaction outputs(t.files);
  ASSERT_TRUE(t.stageAndWrite(outputs));
  const OutputTransaction::CommitResult result = outputs.commit();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.failure.find("A.XL1: File exists"), std::string::npos) << result.failure;
  EXPECT_EQ(result.written, std::vector<std::string>{});
  EXPECT_EQ(read(t.files, "A.XL1"), "someone's rows\n");
  EXPECT_EQ(read(t.files, "A.OUT"), "old report\n");
  EXPECT_EQ(temporaries(t.files), 0);
}

}  // namespace
}  // namespace rova
