// Small RGBA images for read-back tests, described by ARGB colours.
#pragma once
#include "core/Object.h"
#include "render/Image2D.h"
#include <vector>

namespace testsupport {

// A w x h RGBA image whose pixel (x, y) (y from the top) is colour(x, y) (ARGB).
template <typename F> render::Image2D* argbImage(int w, int h, F colour) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned c = colour(x, y);
            unsigned char* p = &px[((size_t)y * w + x) * 4];
            p[0] = (unsigned char)(c >> 16);
            p[1] = (unsigned char)(c >> 8);
            p[2] = (unsigned char)c;
            p[3] = (unsigned char)(c >> 24);
        }
    return M3D_NEW render::Image2D(render::Image2D::RGBA, w, h, px.data());
}

// Left half `left`, right half `right` (ARGB).
inline render::Image2D* halves(int w, int h, unsigned left, unsigned right) {
    return argbImage(w, h, [=](int x, int) { return x < w / 2 ? left : right; });
}

} // namespace testsupport
