// slm scalar constants shared by the math types.
// The thresholds are the f32 limits the intersection and quaternion code
// compare against; they are written out so every caller uses the same bits.
#pragma once

namespace slm {

// The smallest normal f32 (FLT_MIN): below it a divisor counts as zero.
constexpr float SMALLEST_NORMAL = 1.1754944e-38f;
// The largest finite f32 (FLT_MAX): stands in for 1/0 in prepared rays.
constexpr float LARGEST = 3.4028235e38f;
constexpr float PI = 3.14159265358979323846f;

} // namespace slm
