// Readable names for the cases of a parameterised test: the case's description
// with every character that is not a letter or digit made '_'.
#pragma once
#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace kx::kxpack::test {

struct TCaseName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const {
        std::string name;
        for (const char* p = info.param.What; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    }
};

} // namespace kx::kxpack::test
