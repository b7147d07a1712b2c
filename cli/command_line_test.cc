#include "cli/command_line.h"

#include <gtest/gtest.h>

#include "cli/batch_run.h"
#include "records/version.h"

namespace rova {
namespace {

TEST(CommandLineTest, OptionsInBothFormsAndFilesInAnyOrder) {
  const CommandLine c = parseCommandLine({"--job", "ab", "--title=My run", "-n", "500", "--seed=-7",
                                          "--first-year", "1700", "--last-year=1800",
                                          "--segment-length", "100", "--segment-lag", "10", "-R",
                                          "--injuries", "--no-spreadsheets", "-o", "out", "--force",
                                          "--csv", "--plot", "-q", "DATA.FHX"});
  ASSERT_EQ(c.error, "");
  const BatchOptions& o = c.options;
  EXPECT_EQ(o.job, "ab");
  EXPECT_EQ(o.title, "My run");
  EXPECT_EQ(o.simulations, 500);
  EXPECT_EQ(o.seed, -7);
  EXPECT_EQ(o.firstYear, 1700);
  EXPECT_EQ(o.lastYear, 1800);
  EXPECT_EQ(o.segmentLength, 100);
  EXPECT_EQ(o.segmentLag, 10);
  EXPECT_TRUE(o.withReplacement && o.injuries && o.noSpreadsheets && o.force && o.outputs.csv && o.outputs.plot &&
              o.quiet);
  EXPECT_EQ(o.outputs.outputDirectory, "out");
  EXPECT_EQ(o.files, (std::vector<std::string>{"DATA.FHX"}));

  const CommandLine two = parseCommandLine({"a.fhx", "-n", "5", "--", "-odd-name.fhx"});
  EXPECT_EQ(two.error, "");
  EXPECT_EQ(two.options.files, (std::vector<std::string>{"a.fhx", "-odd-name.fhx"}));
  EXPECT_FALSE(two.options.seed);
}

TEST(CommandLineTest, UnusableCommandLinesSayWhy) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"-x", "a"}, "unknown option -x"},
      {{"a", "--seed"}, "--seed needs a value"},
      {{"--seed", "12x", "a"}, "--seed: '12x' is not a usable value (a whole number is needed)"},
      {{"--simulations", "99999999999", "a"},
       "--simulations: '99999999999' is not a usable value (a whole number from -2147483648 to "
       "2147483647 is needed)"},
      {{"-s", "-99999999999", "a"},
       "-s: '-99999999999' is not a usable value (a whole number from -2147483648 to 2147483647 "
       "is needed)"},
      {{"--segment-lag", "5", "a"},
       "--segment-lag needs --segment-length: without a length there are no segments"},
      {{"-n", "+5-", "a"}, "-n: '+5-' is not a usable value (a whole number is needed)"},
      {{"--csv=yes", "a"}, "--csv takes no value"},
      {{"-n", "5"}, "no input FILE given"},
      {{"--job", "A", "a", "b"},
       "--job names the run of one FILE; with several FILEs each is named after its file"},
  };
  for (const auto& [arguments, error] : cases) EXPECT_EQ(parseCommandLine(arguments).error, error);
  EXPECT_EQ(parseCommandLine({"--help"}).error, "");
  EXPECT_TRUE(parseCommandLine({"-V"}).options.version);
  EXPECT_EQ(parseCommandLine({"-n", "+5", "a"}).options.simulations, 5);
}

// The habits of GNU tools: bundled flags, values attached to short
// options, unambiguous prefixes of long options, "--" ending the options.
TEST(CommandLineTest, GnuConventions) {
  const CommandLine c = parseCommandLine({"-qfR", "-s3", "-n20", "--simul=7", "--out", "dir",
                                          "--full", "a.fhx", "-Ij", "AB"});
  ASSERT_EQ(c.error, "");
  EXPECT_TRUE(c.options.quiet && c.options.force && c.options.withReplacement && c.options.injuries &&
              c.options.fullNames);
  EXPECT_EQ(c.options.seed, 3);
  EXPECT_EQ(c.options.simulations, 7);  // the later value stands
  EXPECT_EQ(c.options.outputs.outputDirectory, "dir");
  EXPECT_EQ(c.options.job, "AB");
  EXPECT_EQ(c.options.files, std::vector<std::string>{"a.fhx"});

  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--s", "1", "a"}, "ambiguous option --s (--segment-length, --segment-lag, --simulations, --seed)"},
      {{"--segment-l", "1", "a"}, "ambiguous option --segment-l (--segment-length, --segment-lag)"},
      {{"-qx", "a"}, "unknown option -x"},
      {{"--forc=1", "a"}, "--force takes no value"},
      {{"--simul=x", "a"}, "--simulations: 'x' is not a usable value (a whole number is needed)"},
      {{"a", "--simul"}, "--simulations needs a value"},
      {{"a", "-qn"}, "-n needs a value"},
  };
  for (const auto& [arguments, error] : cases) EXPECT_EQ(parseCommandLine(arguments).error, error);
  // Parsing twice in one process starts afresh.
  EXPECT_EQ(parseCommandLine({"-q", "b.fhx"}).options.files, std::vector<std::string>{"b.fhx"});
}

// The chart's formats: any of svg, pdf and png, in any case and order,
// each kept once in a fixed order; asking for them asks for the chart.
TEST(CommandLineTest, PlotFormatsAreAListThatImpliesThePlot) {
  using F = ChartFormat;
  const std::vector<std::pair<std::vector<std::string>, std::vector<F>>> cases = {
      {{"--plot", "a"}, {}},
      {{"--plot-format", "png", "a"}, {F::kPng}},
      {{"--plot-format=PNG,svg,pdf,png", "a"}, {F::kSvg, F::kPdf, F::kPng}},
      {{"--plot-f", "pdf", "--plot", "a"}, {F::kPdf}},
      {{"--plot-format", "svg", "--plot-format", "pdf", "a"}, {F::kPdf}},  // the last one counts
  };
  for (const auto& [arguments, formats] : cases) {
    const CommandLine c = parseCommandLine(arguments);
    EXPECT_EQ(c.error, "") << arguments[1];
    EXPECT_TRUE(c.options.outputs.plot) << arguments[1];
    EXPECT_EQ(c.options.outputs.plotFormats, formats) << arguments[1];
  }
  EXPECT_FALSE(parseCommandLine({"a"}).options.outputs.plot);
  for (const char* bad : {"gif", "svg,", ",svg", "svg,,pdf", "svg pdf", "", "pdfx"})
    EXPECT_EQ(parseCommandLine({"--plot-format", bad, "a"}).error,
              std::string("--plot-format: '") + bad +
                  "' is not a usable value (svg, pdf or png, several separated by commas)");
  // --plot is still whole; an abbreviation of both is ambiguous.
  EXPECT_EQ(parseCommandLine({"--plo", "a"}).error,
            "ambiguous option --plo (--plot-format, --plot-style, --plot-dpi, --plot)");
}

// The figure for a journal: --plot-style compact|full asks for the chart;
// --plot-dpi is a whole number of pixels per inch in its range, for a PNG.
TEST(CommandLineTest, PlotStyleAndResolution) {
  const BatchOptions defaults = parseCommandLine({"a"}).options;
  EXPECT_EQ(defaults.outputs.plotStyle, ChartStyle::kFull);
  EXPECT_FALSE(defaults.outputs.plotDpi.has_value());
  const CommandLine compact = parseCommandLine({"--plot-style", "Compact", "a"});
  ASSERT_EQ(compact.error, "");
  EXPECT_EQ(compact.options.outputs.plotStyle, ChartStyle::kCompact);
  EXPECT_TRUE(compact.options.outputs.plot);
  EXPECT_EQ(parseCommandLine({"--plot-style=full", "a"}).options.outputs.plotStyle, ChartStyle::kFull);
  for (const char* bad : {"", "small", "compact,full", "ful"})
    EXPECT_EQ(parseCommandLine({"--plot-style", bad, "a"}).error,
              std::string("--plot-style: '") + bad + "' is not a usable value (compact or full)");

  const CommandLine dpi = parseCommandLine({"--plot-dpi", "600", "--plot-format", "pdf,png", "a"});
  ASSERT_EQ(dpi.error, "");
  EXPECT_EQ(dpi.options.outputs.plotDpi, 600);
  EXPECT_EQ(parseCommandLine({"--plot-format=png", "--plot-dpi=72", "a"}).options.outputs.plotDpi, 72);
  EXPECT_EQ(parseCommandLine({"--plot-format=png", "--plot-dpi=1200", "a"}).options.outputs.plotDpi, 1200);
  for (const char* bad : {"71", "1201", "0", "-300", "300.5", "3e2", "x", ""})
    EXPECT_EQ(parseCommandLine({"--plot-format=png", "--plot-dpi", bad, "a"}).error,
              std::string("--plot-dpi: '") + bad +
                  "' is not a usable value (a whole number from 72 to 1200 is needed)");
  for (const std::vector<std::string>& noPng :
       {std::vector<std::string>{"--plot-dpi", "300", "a"},
        std::vector<std::string>{"--plot", "--plot-dpi", "300", "a"},
        std::vector<std::string>{"--plot-format", "svg,pdf", "--plot-dpi", "300", "a"}})
    EXPECT_EQ(parseCommandLine(noPng).error,
              "--plot-dpi sets the resolution of the PNG chart: ask for it with --plot-format png");
}

// One version everywhere: the program's, its --version, and the build's
// (which names the Debian package).
TEST(CommandLineTest, VersionIsTheProgramsAndTheBuilds) {
  const std::string text = versionText();
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), std::string("rova ") + kProgramVersion + "\n");
  // The licence is said with the version, as a researcher depositing code needs it.
  EXPECT_NE(text.find("Copyright (c) 2026 The ROVA developers\n"), std::string::npos);
  EXPECT_NE(text.find("MIT licence"), std::string::npos);
  EXPECT_STREQ(kProgramVersion, ROVA_PROJECT_VERSION);
}

// The adequacy criterion: percentages, the share at most 100.
TEST(CommandLineTest, AdequacyPercentages) {
  const BatchOptions defaults = parseCommandLine({"a"}).options;
  EXPECT_EQ(defaults.outputs.adequacyWithin, 10);
  EXPECT_EQ(defaults.outputs.adequacyShare, 95);
  const CommandLine c = parseCommandLine({"--adequacy-within", "2.5", "--adequacy-share=90", "a"});
  ASSERT_EQ(c.error, "");
  EXPECT_EQ(c.options.outputs.adequacyWithin, 2.5);
  EXPECT_EQ(c.options.outputs.adequacyShare, 90);
  EXPECT_EQ(parseCommandLine({"--adequacy-share", "100", "a"}).options.outputs.adequacyShare, 100);
  for (const char* bad : {"-1", "101", "x", "", ".", "1e2", "5%"})
    EXPECT_EQ(parseCommandLine({"--adequacy-share", bad, "a"}).error,
              std::string("--adequacy-share: '") + bad +
                  "' is not a usable value (a percentage from 0 to 100 is needed)");
  EXPECT_EQ(parseCommandLine({"--adequacy-within", "-5", "a"}).error,
            "--adequacy-within: '-5' is not a usable value (a percentage, 0 or more, is needed)");
}

TEST(CommandLineTest, HelpNamesEveryOption) {
  const std::string help = usageText();
  for (const char* option :
       {"--job", "--title", "--first-year", "--last-year", "--segment-length", "--segment-lag",
        "--simulations", "--seed", "--with-replacement", "--injuries", "--no-spreadsheets",
        "--output-dir", "--force", "--full-names", "--csv", "--plot", "--plot-format",
        "--plot-style", "--plot-dpi",
        "--adequacy-within", "--adequacy-share", "--multi-site", "--quiet", "--help", "--version"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(CommandLineTest, JobIdentifiersComeFromFileNames) {
  EXPECT_EQ(jobFromFileName("data/ALDER.FHX"), "ALDER");
  EXPECT_EQ(jobFromFileName("uspmw001.fhx"), "USPMW");
  EXPECT_EQ(jobFromFileName("/x/my site.fhx"), "MY_SI");
  EXPECT_EQ(jobFromFileName("a-b.c.d"), "A-B");
  EXPECT_EQ(jobFromFileName(".hidden"), "");
}

}  // namespace
}  // namespace rova
