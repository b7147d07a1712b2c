// The saying shown at the end of a run, framed by border lines, chosen by
// the time of day from a sayings file.
//
// Sayings file: line 1 holds the number of sayings in its first 4 columns.
// Each saying is a marker line, its text lines and a closing line; marker
// and closing lines begin with "-" (one closing line also introduces the
// next saying). Every saying line is stored scrambled: a character of code
// 33..126 is stored as the character of code 159 minus its code, all other
// characters unchanged (so a "-" line is stored beginning with "r"). The
// count line is stored as plain digits.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"
#include "platform/platform.h"

namespace rova {

// The scrambling is its own inverse: the same call stores and restores.
std::string scrambleSaying(const std::string& line);

// Shows the saying of the current time of day from the first sayings file
// that opens. Any failure (no file, a count below 1, a count larger than
// the sayings, a file that ends early) shows nothing, silently.
void showClosingSaying(Console& console, FileSystem& files, Clock& clock,
                       const std::vector<std::string>& sayingsFiles);

}  // namespace rova
