// A C library locale with a decimal comma and grouping dots (German), for the tests that show
// the program's files keep plain C numbers whatever the user's locale. Machines often have no
// such locale installed: it is then compiled once from the system's locale sources into a
// temporary folder that LOCPATH points at.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace decimal_comma_locale {

constexpr const char* kName = "de_DE.UTF-8";

/// Makes the German locale the C library's locale for every category. Returns false (with the
/// reason in `why`) when it cannot be found or made; the locale in force before is returned in
/// `previous` for Restore.
inline bool Use(std::string* previous, std::string* why) {
  *previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, kName)) return true;
  static const std::string folder = [] {
    const std::string dir = (std::filesystem::temp_directory_path() / "rorir-test-locales").string();
    std::filesystem::create_directories(dir);
    // Bounded: a localedef that hangs fails the test instead of the suite.
    const std::string cmd = "timeout 60 localedef -i de_DE -f UTF-8 '" + dir + "/" + kName + "' >/dev/null 2>&1";
    (void)std::system(cmd.c_str());  // warnings give a non-zero code with a usable locale
    return dir;
  }();
  setenv("LOCPATH", folder.c_str(), 1);
  if (std::setlocale(LC_ALL, kName)) return true;
  *why = "no locale " + std::string(kName) + " and none could be made with localedef (package locales)";
  return false;
}

inline void Restore(const std::string& previous) {
  std::setlocale(LC_ALL, previous.c_str());
  unsetenv("LOCPATH");
}

}  // namespace decimal_comma_locale
