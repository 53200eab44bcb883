#pragma once

#include <cstdint>

namespace aurelix::analysis {

// `i` with its lowest `bits` bits written in reverse order (the higher bits are dropped).
// bits = 0 raises Overflow (6): the loop bound bits - 1 is not an unsigned byte; so does a
// result that does not fit 32 bits.
int32_t ReverseBits(int32_t i, uint8_t bits);

// Rebuilds EngineState::BitReverse with indexes 0 to n-1, entry i = ReverseBits(i, bits),
// and sets BitReverseSize to n. bits = 0 derives bits as round(ln n / ln 2). The table is
// built aside and replaces the old one only when complete, so a failure (Overflow (6) for
// n = 1 or bits outside 0..255, Invalid procedure call (5) for n <= 0 with bits = 0,
// Subscript out of range (9) for n < 0) leaves the old table and size in place.
void InitBitReverse(int32_t n, int32_t bits);

}  // namespace aurelix::analysis
