// The numbered option menu: shown with the current values until the user
// answers with an empty line; each option asks its questions and applies
// its rules.
#pragma once

#include <cstddef>
#include <string>

#include "driver/run_options.h"

namespace rova {

void runOptionMenu(RunContext& run);

// One option 1..6, as chosen in the menu.
void runOption(RunContext& run, int choice);

// Years of the processing span outside the year table are set to its
// nearest limit, and a reversed span is turned round, each with a message.
void keepSpanInTable(RunContext& run);

// The run title holds 60 bytes. A longer text is cut before the first
// character that does not fit whole, so a UTF-8 character is never split;
// the field is padded with blanks.
constexpr std::size_t kTitleLength = 60;
std::string runTitleFrom(const std::string& text);

// The bytes the title prompt reads: a character that starts inside the
// field may reach 3 bytes beyond it, and must be seen whole to be kept.
constexpr std::size_t kTitleAnswerLength = kTitleLength + 3;

}  // namespace rova
