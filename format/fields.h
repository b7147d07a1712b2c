// Fixed-width fields of the program's screen, report and spreadsheet lines.
//
// Every numeric field is right-aligned in its width; a value whose text is
// wider than the field is shown as that many asterisks, so a column never
// moves. Reals are printed from the exact value of the single-precision
// number, rounded to the requested decimals the way printf("%w.df") does.
// Nothing here depends on the locale.
#pragma once

#include <string>
#include <string_view>

namespace rova::fmt {

// Iw: an integer right-aligned in w columns.
std::string I(long long value, int w);

// Fw.d: a real right-aligned in w columns with d decimals.
std::string F(float value, int w, int d);

// The same two fields written into a caller's buffer, which must have room
// for w characters: exactly w are written (none when w <= 0) and the end of
// the field is returned. No memory is allocated; these are the routines
// that I and F are made of.
char* putI(char* out, long long value, int w);
char* putF(char* out, float value, int w, int d);

// The same two fields appended to a text.
void appendI(std::string& text, long long value, int w);
void appendF(std::string& text, float value, int w, int d);

// nX: n blanks.
std::string X(int n);

// A text padded with blanks (or cut) to exactly w characters.
std::string padded(std::string_view text, std::size_t w);

// Builds one line from fields. Text is written at a cursor that normally
// follows the last character; tab(c) moves the cursor to column c (1-based),
// padding with blanks when the line is shorter, so later text lands exactly
// at that column (overwriting what stood there, as a tab to the left does).
class Line {
 public:
  Line() = default;
  explicit Line(std::string_view start) { a(start); }

  Line& a(std::string_view text);                 // A
  Line& i(long long value, int w);
  Line& f(float value, int w, int d);
  Line& x(int n) { return a(X(n)); }
  Line& tab(int column);                          // Tc

  const std::string& str() const { return text_; }
  operator std::string() const { return text_; }  // NOLINT: lines are texts

 private:
  std::string text_;
  std::size_t cursor_ = 0;
};

// The position of the last character that is neither blank nor NUL, or 0
// for a text of only blanks and NULs.
std::size_t lastNonBlank(std::string_view text);

// The text without its trailing blanks and NULs.
std::string_view trimRight(std::string_view text);

}  // namespace rova::fmt
