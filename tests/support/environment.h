#pragma once
// Setting and removing environment variables in tests, the same on both platforms (the C
// library of Windows has no setenv or unsetenv).

#include <cstdlib>
#include <string>

namespace ornivel::test {

// Sets `name` to `value` for this process and the programs it starts. On Windows the C library
// holds no empty values: setting "" removes the variable, which readers see as unset.
inline void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

// Removes `name` from this process's environment.
inline void UnsetEnvironment(const std::string& name) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), "");
#else
  ::unsetenv(name.c_str());
#endif
}

}  // namespace ornivel::test
