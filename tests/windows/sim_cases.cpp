#include "tests/windows/sim_cases.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace simcases {

namespace {
std::map<std::string, std::vector<std::string>>& Cases()
{
    static std::map<std::string, std::vector<std::string>> cases;
    return cases;
}
} // namespace

bool List(const std::string& name, std::vector<std::string> flags)
{
    Cases()[name] = std::move(flags);
    return true;
}

} // namespace simcases

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--sim-cases") == 0) {
        for (const auto& [name, flags] : simcases::Cases()) {
            std::string line = name;
            for (const std::string& f : flags)
                line += "\t" + f;
            std::printf("%s\n", line.c_str());
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
