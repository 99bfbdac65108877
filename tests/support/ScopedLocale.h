// A C library locale for one test, compiled with localedef into a TempDir (LOCPATH), so tests
// of locale-independent code need no locale installed on the machine. Restores the previous
// locale of the category and LOCPATH when it goes. Not thread-safe (setlocale, setenv).
#pragma once

#include <memory>
#include <string>

namespace kelo::test {

class TempDir;

class ScopedLocale {
 public:
  /// `source` names a locale source ("de_DE"), `charset` its encoding ("UTF-8").
  ScopedLocale(int category, const std::string& source, const std::string& charset);
  ~ScopedLocale();
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  /// False when the locale could not be built or set (no locale sources installed).
  bool active() const { return m_active; }

 private:
  int m_category;
  bool m_active = false;
  std::string m_previousLocale;
  bool m_hadLocPath = false;
  std::string m_previousLocPath;
  std::unique_ptr<TempDir> m_dir;
};

}  // namespace kelo::test
