// The job identifier: up to five characters typed at the start of a run,
// the job of the session's identification, which names every output file
// of the run.
#pragma once

#include "console/console.h"

namespace rova {

// Asks for the identifier (after an empty line when lead is "|"). Letters
// are upper-cased, characters other than letters, digits and "-" inside
// the answer become "_"; an empty answer or one that starts with a blank
// keeps "ZZ".
void askJobIdentifier(Console& console, char lead);

// The identifier a text gives by those rules: its first 5 characters,
// upper-cased, characters other than letters, digits and "-" before the
// last non-blank one as "_", blank-padded to 5.
std::string jobIdentifierFrom(const std::string& text);

// The characters an identifier is made of: letters upper-cased, every
// character other than letters, digits and "-" as "_".
std::string identifierCharacters(std::string text);

}  // namespace rova
