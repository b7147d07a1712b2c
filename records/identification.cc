#include "records/identification.h"

#include "format/fields.h"

namespace rova {

std::string Identification::line() const {
  fmt::Line id(baseName());
  id.a(version()).tab(19).a(dayNumberText()).a(fmt::padded(clockText, 22)).a(fmt::padded(stamp, 14));
  id.tab(195).a(suiteField());
  return fmt::padded(id.str(), kIdentificationLength);
}

std::string Identification::baseName() const { return fmt::padded(job, 5) + programName(); }

std::string Identification::programName() const { return fmt::padded(programCode, 7).substr(0, 3); }

std::string Identification::version() const {
  return fmt::padded(programCode, 7).substr(3) + marker;
}

std::string Identification::dayNumberText() const { return fmt::I(dayNumber, 6); }

std::string Identification::suiteField() const { return fmt::padded(suiteName, 60); }

}  // namespace rova
