// render::Font2DBitmap: the ROM font's embedded image checked against the
// glyph art it is generated from, the glyph table and blank glyphs.
#include "render/Font2DBitmap.h"
#include "render/RomFontImage.h"
#include "support/EngineFixture.h"
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// glyphs.txt: character code -> 8 rows of '#' and '.'.
std::map<int, std::vector<std::string>> glyphArt() {
    std::map<int, std::vector<std::string>> art;
    std::ifstream in(std::string(PELLORAN_SOURCE_DIR) + "/tools/rom_font/glyphs.txt");
    std::string line;
    int code = -1;
    while (std::getline(in, line)) {
        if (line.compare(0, 3, "== ") == 0) {
            std::string t = line.substr(3);
            code = t.size() > 2 && t.compare(0, 2, "0x") == 0 ? std::stoi(t.substr(2), nullptr, 16)
                                                              : (unsigned char)t[0];
        } else if (code >= 0 && line.size() == 8 && line.find_first_not_of("#.") == std::string::npos) {
            art[code].push_back(line);
        }
    }
    return art;
}

class Font2DBitmapTest : public testsupport::CoreTest {};

TEST_F(Font2DBitmapTest, RomFontPixelsAreTheGlyphArtAndTheGlyphTableFollowsChanges) {
    std::map<int, std::vector<std::string>> art = glyphArt();
    ASSERT_EQ(80u, art.size());
    core::Ref<render::Font2DBitmap> rom = render::Font2DBitmap::createROMFont();
    const unsigned char* px = rom->getImage()->getPixels();
    for (int k = 0; k < render::ROM_FONT_GLYPH_COUNT; ++k) {
        int code = (unsigned char)render::ROM_FONT_GLYPH_ORDER[k];
        SCOPED_TRACE(code);
        ASSERT_EQ(8u, art[code].size());
        int gx, gy, gw, gh;
        ASSERT_TRUE(rom->getGlyph((unsigned short)code, gx, gy, gw, gh));
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 8; ++col) {
                const unsigned char* p = px + ((gy + row) * 80 + gx + col) * 4;
                int on = art[code][row][col] == '#' ? 255 : 0;
                ASSERT_EQ(on, p[3]) << "row " << row << " col " << col;
                ASSERT_EQ(on, p[0]);
            }
    }

    core::Ref<render::Font2DBitmap> font = M3D_NEW render::Font2DBitmap();
    const unsigned char order[] = {'a', 'b'};
    font->buildGlyphTable(order, 2, 8); // no image: one row
    int x, y, w, h;
    ASSERT_TRUE(font->getGlyph('b', x, y, w, h)); // the first look-up fills the 8-bit table
    EXPECT_EQ(8, x);
    EXPECT_FALSE(font->getGlyph('c', x, y, w, h));
    EXPECT_FALSE(font->getGlyph(0, x, y, w, h));
    // Added, moved, past 8 bits (one that only shares its low byte with a
    // glyph is not that glyph), and a taller glyph that raises the line height.
    struct Glyph {
        unsigned short code;
        int x, y, w, h;
    } set[] = {{'c', 16, 0, 5, 8}, {255, 24, 0, 7, 8}, {'a', 32, 8, 3, 8}, {0x100 + 'a', 40, 0, 2, 12}};
    EXPECT_FALSE(font->getGlyph(0x100 + 'a', x, y, w, h));
    for (const Glyph& gl : set)
        font->setGlyph(gl.code, gl.x, gl.y, gl.w, gl.h);
    EXPECT_EQ(5, font->getGlyphCount());
    core::Ref<render::Object3D> copy = font->duplicate();
    font->setGlyph('c', 0, 0, 1, 1); // the copy has its own table
    render::Font2DBitmap* dup = static_cast<render::Font2DBitmap*>(copy.get());
    for (const Glyph& gl : set) {
        SCOPED_TRACE(gl.code);
        ASSERT_TRUE(dup->getGlyph(gl.code, x, y, w, h));
        EXPECT_EQ((std::vector<int>{gl.x, gl.y, gl.w, 12}), (std::vector<int>{x, y, w, h}));
    }

    // Blank glyphs (the ROM font's are checked against drawn frames in
    // Text3DTest): a 16 x 8 image of two cells; the right one gets a single texel with a
    // little alpha in its last row.
    core::Ref<render::Image2D> image = M3D_NEW render::Image2D(render::Image2D::RGBA, 16, 8);
    core::Ref<render::Font2DBitmap> cells = M3D_NEW render::Font2DBitmap();
    cells->setImage(image.get());
    cells->buildGlyphTable(order, 2, 8);
    EXPECT_TRUE(cells->isGlyphBlank(cells->findGlyph('b')));
    EXPECT_FALSE(cells->isGlyphBlank(-1));
    EXPECT_FALSE(cells->isGlyphBlank(cells->getGlyphCount()));
    image->getPixels()[(7 * 16 + 15) * 4 + 3] = 1;
    cells->setImage(image.get()); // pixels changed in place: asked again
    EXPECT_TRUE(cells->isGlyphBlank(cells->findGlyph('a')));
    EXPECT_FALSE(cells->isGlyphBlank(cells->findGlyph('b')));
    // A rectangle reaching past the image, and one taller line (the quad
    // spans the line height) are not blank.
    cells->setGlyph('a', 12, 0, 8, 8);
    EXPECT_FALSE(cells->isGlyphBlank(cells->findGlyph('a')));
    cells->setGlyph('a', 0, 0, 8, 8);
    cells->setGlyph('c', 0, 0, 4, 9);
    EXPECT_FALSE(cells->isGlyphBlank(cells->findGlyph('a')));
    // Without an image or with one of another format nothing is known.
    core::Ref<render::Font2DBitmap> bare = M3D_NEW render::Font2DBitmap();
    bare->buildGlyphTable(order, 2, 8);
    EXPECT_FALSE(bare->isGlyphBlank(bare->findGlyph('a')));
    core::Ref<render::Image2D> rgb = M3D_NEW render::Image2D(render::Image2D::RGB, 16, 8);
    bare->setImage(rgb.get());
    EXPECT_FALSE(bare->isGlyphBlank(bare->findGlyph('a')));
}

} // namespace
