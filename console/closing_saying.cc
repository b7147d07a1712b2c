#include "console/closing_saying.h"

#include "format/text.h"

namespace rova {
namespace {

constexpr std::size_t kSayingLineLength = 80;
constexpr long long kCountWhenUnreadable = 452;

// The count in the first 4 columns, blanks ignored; an all-blank field is
// 0; nullopt when it is not a whole number.
std::optional<long long> sayingCount(const std::string& line) {
  const std::string field = packName(line.substr(0, 4));
  if (field.empty()) return 0;
  std::size_t i = field[0] == '-' || field[0] == '+' ? 1 : 0;
  if (i == field.size()) return std::nullopt;
  for (std::size_t j = i; j < field.size(); ++j)
    if (field[j] < '0' || field[j] > '9') return std::nullopt;
  return std::stoll(field);
}

}  // namespace

std::string scrambleSaying(const std::string& line) {
  std::string out = line;
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 33 && u <= 126) c = static_cast<char>(159 - u);
  }
  return out;
}

void showClosingSaying(Console& console, FileSystem& files, Clock& clock,
                       const std::vector<std::string>& sayingsFiles) {
  std::unique_ptr<InputText> file;
  for (const std::string& path : sayingsFiles) {
    std::string error;
    if ((file = files.openForReading(path, error))) break;
  }
  if (!file) return;

  auto first = file->nextLine();
  if (!first) return;
  long long count = kCountWhenUnreadable;
  if (auto read = sayingCount(*first)) {
    count = *read;
  } else {
    file->rewind();
  }
  if (count < 1) return;

  const LocalTime now = clock.now();
  const long long k = (now.hour * 3600LL + now.minute * 60LL + now.second) % count + 1;
  for (long long markers = 0; markers < k;) {
    auto line = file->nextLine();
    if (!line) return;
    if (!line->empty() && (*line)[0] == 'r') ++markers;
  }

  console.showLine("*=", "|Z");
  for (;;) {
    auto line = file->nextLine();
    if (!line) return;
    std::string text = fixedLength(*line, kSayingLineLength);
    text = scrambleSaying(text.substr(0, trimmedLength(text))) + text.substr(trimmedLength(text));
    if (text[0] == '-') {
      console.showLine(text, "_R");
      break;
    }
    console.showLine(text, "__");
  }
  console.showLine("*=", "Z_");
}

}  // namespace rova
