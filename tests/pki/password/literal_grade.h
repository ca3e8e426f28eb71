// The effective length of a password computed literally: every candidate text built in full and
// measured with the neighbour test. Slow; the tests and the fuzzer hold the library's faster
// computation against it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pwtest {

size_t literal_run_shortened_length(const uint8_t *text, size_t n);
size_t literal_effective_length(const uint8_t *text, size_t n);

}  // namespace pwtest
