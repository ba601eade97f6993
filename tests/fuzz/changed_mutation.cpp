#include "tests/fuzz/changed_mutation.h"

#include <algorithm>
#include <vector>

namespace fuzz {

size_t MutateChanged(uint8_t* data, size_t size, size_t maxSize, Mutation mutate)
{
    static std::vector<uint8_t> before; // kept: no allocation per mutation
    before.assign(data, data + size);
    for (int n = 0; n < kMutationTries; ++n) {
        const size_t got = mutate(data, size, maxSize);
        if (got != before.size() || !std::equal(before.begin(), before.end(), data))
            return got;
    }
    return size;
}

} // namespace fuzz
