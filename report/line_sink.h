// Where the report writers send their lines: one report line without a
// carriage-control column (its first character is column 1; an empty
// string is a blank line). The receiver trims trailing blanks, which carry
// no meaning.
#pragma once

#include <functional>
#include <string>

namespace rova {

using LineSink = std::function<void(const std::string&)>;

}  // namespace rova
