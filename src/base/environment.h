// The process's environment as the entry read it. The libraries read no
// variable themselves: what they are given is all they see, so that a test
// can give them any setting without touching the process.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace base {

class Environment {
 public:
  // Null when `name` is not set.
  const char* Get(std::string_view name) const {
    auto found = values_.find(name);
    return found == values_.end() ? nullptr : found->second.c_str();
  }
  void Set(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace base
