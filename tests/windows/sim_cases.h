// Test cases that each need their own simulated modem. A case is declared
// with the simulator's flags; `<suite> --sim-cases` prints one line per
// case, its full name and its flags separated by tabs, for the script that
// starts the simulators.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace simcases {

// Records a case's flags. Returns true (for a static initializer).
bool List(const std::string& name, std::vector<std::string> flags);

} // namespace simcases

#define QX_SIM_CASE(suite, name, ...)                                                                                  \
    const bool suite##_##name##_listed = simcases::List(#suite "." #name, std::vector<std::string>{__VA_ARGS__});      \
    TEST(suite, name)
