// ARGB colours (as the scene objects store them) to the vec4 colours the
// shaders read.
#pragma once
#include "slm/vec4.h"

namespace render {

inline slm::vec4 argbToVec4(unsigned argb) {
    return slm::vec4((float)((argb >> 16) & 0xFF) / 255.0f, (float)((argb >> 8) & 0xFF) / 255.0f,
                     (float)(argb & 0xFF) / 255.0f, (float)((argb >> 24) & 0xFF) / 255.0f);
}

// The colour with alpha 1: material and fog colours ignore the alpha byte.
inline slm::vec4 rgbToVec4(unsigned argb) {
    slm::vec4 v = argbToVec4(argb);
    v.w = 1.0f;
    return v;
}

} // namespace render
