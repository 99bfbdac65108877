// Sets and unsets environment variables for one test and puts every one back as it was when
// the object goes. Not thread-safe: use it where no other thread reads the environment.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelo::test {

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);

 private:
  void remember(const std::string& name);
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace kelo::test
