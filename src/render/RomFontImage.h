// The built-in ROM font: an 80 x 80 RGBA PNG (white glyphs on transparent,
// 8 x 8 cells, ten to a row in glyph order) and the glyph order string
// (ISO 8859-1 codes). Generated from tools/rom_font/glyphs.txt by
// tools/rom_font/make_rom_font.py into RomFontImage.cpp.
#pragma once

namespace render {
const int ROM_FONT_GLYPH_COUNT = 80;
extern const char ROM_FONT_GLYPH_ORDER[ROM_FONT_GLYPH_COUNT + 1];
extern const unsigned char ROM_FONT_IMAGE[];
extern const int ROM_FONT_IMAGE_SIZE;
} // namespace render
