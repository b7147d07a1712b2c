// The two readers of fire-history files. Both fill the run's FireHistory
// from an open text, tell a ReadingReporter their notices and summary line,
// and return a refusal as a value, the same way for both.
//
// FIRE2/FHX2 text: a format line ("FIRE2 FORMAT" or "FHX2 FORMAT" from
// column 1), a counts line (first year, number of series, number of
// identifier lines), the identifiers written vertically, one ignored line,
// then one data line per year with the code of series s in column s. A
// descriptive header before the format line is skipped.
//
// Binary Fire Events text: the year in columns 1-5, then one code per tree
// ("1" event, "0" recording, "*" or "9" no data), blanks ignored, lines in
// any order.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"
#include "records/fire_history.h"

namespace rova {

// What a reader has to say, for its caller to show: the summary line of a
// read (with the empty line before it, for Fire Events) and notices, lines
// beginning " >> ", about what was left out or may be wrong. The dialogue
// shows both on the screen; batch mode shows them on standard error.
class ReadingReporter {
 public:
  virtual ~ReadingReporter() = default;
  virtual void summary(const std::string& record) = 0;
  virtual void notice(const std::string& record) = 0;
};

// How a reader ended.
enum class ReadOutcome {
  kNotThisFormat,  // RFIRE2 only: no format line; the text is rewound, for a preview and RFIREB
  kRead,           // data read; the summary line was told to the reporter
  kRefused,        // a file of the reader's format that holds no usable data: see the refusal
};

// What a reader returns: how it ended and, for a refused file, why, as a
// value with the line where the problem shows. Everything else a reader
// has to say goes to its ReadingReporter as it reads.
struct ReadResult {
  ReadOutcome outcome = ReadOutcome::kNotThisFormat;
  FormatKind format = FormatKind::kFire2;  // whose reader answered
  std::size_t line = 0;  // for kRefused: the line of the problem; 0 when it is the whole file's
  std::string problem;   // for kRefused: what is wrong, without the line's number
};

// The screen line that says why the file `fileName` is refused: for
// FIRE2/FHX2 " >> NAME is a FIRE2/FHX2 file without usable data: line N:
// problem", for Fire Events " >> Fire Events file, line N: problem"; a
// problem of the whole file names no line. The name is made screen-safe.
std::string refusalLine(const ReadResult& refused, const std::string& fileName);

// Reads a FIRE2/FHX2 text. Series beyond the 200 that the table holds,
// identifier characters beyond the 8th and years outside -2065..2030 are
// not stored; a notice says what was left out. The year of a data
// line follows from its place; when the years written on the lines
// disagree with their places, a notice names the first such line and
// how many there are. Refused: a counts line whose numbers run past column
// 16, and a file whose first data line (known by the years written on it)
// stands among the identifier lines.
ReadResult RFIRE2(InputText& file, FireHistory& data, ReadingReporter& reporter);

// Reads a binary Fire Events text from its start. Years outside the table
// are reported and their lines skipped; codes beyond the 200th on a line,
// codes after column 517 and lines whose numbers of codes differ from the
// last line's (whose number stands) are reported. Refused: a year field
// that is blank or not a whole number, a tab or other byte that is no code
// character among the codes, a year that stands twice with its number
// running on past column 5, a last line without codes after lines with
// codes, and a file that gives no tree. Never kNotThisFormat.
ReadResult RFIREB(InputText& file, FireHistory& data, ReadingReporter& reporter);

}  // namespace rova
