// Names table-driven test cases after their titles.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace qovant_test {

template <typename Case>
std::string TitleName(const testing::TestParamInfo<Case>& param) {
  std::string name;
  for (const char* c = param.param.title; *c; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

}  // namespace qovant_test
