// Text from the data (site and file names) as a field of the tidy tables.
#pragma once

#include <string>

namespace rova {

// A text as a CSV field, so that the table is valid UTF-8 and no
// spreadsheet takes a name for a formula:
// - a text that is not valid UTF-8 (a file name in another encoding) is
//   written as its bytes percent-encoded, the text the JSON metadata gives
//   for such a name;
// - a text that begins with =, +, -, @, a tab or a carriage return, which a
//   spreadsheet would read as a formula, gets a single quote before it and
//   is quoted, as the common advice against CSV injection says (the
//   quote shows in the cell; R and pandas read it as part of the text);
// - a text that holds a comma, a double quote or a line end is quoted,
//   its double quotes doubled.
std::string csvField(const std::string& text);

}  // namespace rova
