// The identification of a session: the job, the program, the day and time
// it started and the suite's name. It is kept as values; the one line of
// 254 columns that the file dialogue and the report's page heading show is
// rendered from them, and columns 1-8 (job and program name) are the base
// name of every output file.
//
// The line, by column (1-based): 1-5 job, 6-12 program code and version,
// 13 marker, 19-24 day number right-aligned in 6, 25-46 the clock text
// ("hh:mm  Www dd MMM yyyy"), 47-60 the stamp ("[ddMMMyy-hhmm]"), 195-254
// the suite's name; every other column is blank.
#pragma once

#include <string>

namespace rova {

constexpr int kIdentificationLength = 254;

struct Identification {
  std::string job = "ZZ   ";            // 5 characters, blank-padded
  std::string programCode = "GRN3.00";  // 3-letter name and 4-character version
  char marker = 'P';
  int dayNumber = 0;       // days from 31 December 1934 (day 1)
  std::string clockText;   // 22 characters
  std::string stamp;       // 14 characters
  std::string suiteName;   // up to 60 characters

  // The 254 columns of the line.
  std::string line() const;
  // Columns 1-8: the job and the program's three-letter name.
  std::string baseName() const;
  // Columns 6-8: the program's three-letter name ("RVA").
  std::string programName() const;
  // Columns 9-13: the version and the marker ("1.15P").
  std::string version() const;
  // Columns 19-24: the day number right-aligned in 6.
  std::string dayNumberText() const;
  // Columns 195-254: the suite's name blank-padded to 60.
  std::string suiteField() const;
  // The seed a run uses when none is given: the day number's last five
  // digits (columns 20-24).
  // REQUIRES: 0 <= dayNumber <= 999999 (any date of the years 1997-2096).
  int defaultSeed() const { return dayNumber % 100000; }
};

}  // namespace rova
