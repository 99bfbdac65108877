// A temporary folder for one test, removed with everything in it when the object goes.
#pragma once

#include <string>

namespace kelo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  /// path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string m_path;
};

/// Whole contents of a file ("" when it cannot be read).
std::string readFile(const std::string& path);
/// Writes `bytes` to `path`, replacing it; false on failure.
bool writeFile(const std::string& path, const std::string& bytes);

}  // namespace kelo::test
