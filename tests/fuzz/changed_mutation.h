// Mutations that change the input. libFuzzer's own mutations sometimes
// hand the input back as it was: a shuffle or a copy inside a run of equal
// bytes, and the sender's scripts are mostly such runs (a chain of ACKs).
// The same input then runs again and can find nothing new; for one of the
// rare inputs that get the full image that costs as much as a hundred
// short runs, and in a long run the fuzzer spent a third of its time so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// One mutation of data[0, size) in place, with room for maxSize bytes;
// returns the new size (libFuzzer's LLVMFuzzerMutate has this form).
using Mutation = size_t (*)(uint8_t* data, size_t size, size_t maxSize);

constexpr int kMutationTries = 8;

// Applies `mutate` until the result differs from the input, at most
// kMutationTries times. Returns the new size; when every try changed
// nothing, the input is left as it was and its size returned.
size_t MutateChanged(uint8_t* data, size_t size, size_t maxSize, Mutation mutate);

} // namespace fuzz
