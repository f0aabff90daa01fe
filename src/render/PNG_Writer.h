// render::writePNG: saves RGBA pixels as an 8-bit RGBA PNG file through the
// platform's files (frame capture, tests' reference images).
#pragma once
#include "core/String.h"

namespace render {

// `rgba` holds `height` rows of `width` pixels, 4 bytes each; with
// `bottomUp` the first row is the bottom of the image (as GL reads it).
// Throws core::IOException when the file cannot be written.
void writePNG(const core::String& path, int width, int height, const unsigned char* rgba, bool bottomUp);

} // namespace render
