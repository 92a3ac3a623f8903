#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace vennadar::test {

// Reads a file of tests/fixtures as bytes.
inline std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(VENNADAR_FIXTURE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace vennadar::test

namespace vennadar::test {

// Names a table-driven test case after its `name` field.
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return info.param.name;
    }
};

}  // namespace vennadar::test
