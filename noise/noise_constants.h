// The constants of the noise field, shared by the scalar field
// (noise_field.cpp) and its vector kernels (noise_lanes.h).
#pragma once

#include <bit>

namespace {

// The constants are given by their bit patterns so no compiler or library can
// round them differently.
constexpr float kSkew = std::bit_cast<float>(0x3EAAAAABu);         // F = 1/3
constexpr float kUnskew = std::bit_cast<float>(0x3E2AAAABu);       // G = 1/6
constexpr float kUnskew2 = std::bit_cast<float>(0x3EAAAAABu);      // 2G
constexpr float kUnskew3 = std::bit_cast<float>(0x3F000000u);      // 3G = 0.5
constexpr float kKernelRadius2 = std::bit_cast<float>(0x3F19999Au); // 0.6
constexpr float kOutputOffset = std::bit_cast<float>(0x3F000000u); // 0.5
// The lower knee of sampleSpan is 1 - 0.9 in single precision, not 0.1.
constexpr float kSpanLowKnee = std::bit_cast<float>(0x3DCCCCD0u);
constexpr float kSpanHighKnee = std::bit_cast<float>(0x3F666666u); // 0.9

static_assert(kSkew == 1.0f / 3.0f);
static_assert(kUnskew == 1.0f / 6.0f);
static_assert(kUnskew2 == kUnskew * 2.0f);
static_assert(kUnskew3 == kUnskew * 3.0f);
static_assert(kKernelRadius2 == 0.6f);
static_assert(kSpanLowKnee == 1.0f - 0.9f);
static_assert(kSpanHighKnee == 0.9f);

// Gradients: the midpoints of the 12 edges of a cube, one axis per table so
// the four corners of a simplex can be gathered side by side.
constexpr float kGradX[12] = {1, -1, 1, -1, 1, -1, 1, -1, 0, 0, 0, 0};
constexpr float kGradY[12] = {1, 1, -1, -1, 0, 0, 0, 0, 1, -1, 1, -1};
constexpr float kGradZ[12] = {0, 0, 0, 0, 1, 1, -1, -1, 1, 1, -1, -1};

}  // namespace
