// The program's version: the one of its identification line ("RVA1.15"),
// of --version, of the JSON metadata and of the Debian package (the build's
// project version is checked against it by a test).
#pragma once

namespace rova {

constexpr const char* kProgramVersion = "1.15";

}  // namespace rova
