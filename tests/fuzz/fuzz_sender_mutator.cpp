// The sender's mutator under libFuzzer: its own mutations, each one made
// to change the input (see changed_mutation.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/changed_mutation.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int)
{
    return fuzz::MutateChanged(data, size, maxSize, LLVMFuzzerMutate);
}
