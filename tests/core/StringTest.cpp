// core::String: sharing and copy on write, narrow and UTF-16 conversions with
// their exceptions, and the producing operations' edge cases.
#include "core/Exceptions.h"
#include "core/String.h"
#include "support/EngineFixture.h"
#include <string>
#include <vector>

using core::String;
using testsupport::CoreTest;

namespace {
std::vector<unsigned short> units(const String& s) {
    std::vector<unsigned short> out;
    for (int i = 0; i < s.element()->wide.size(); ++i)
        out.push_back(s.element()->wide[i]);
    return out;
}

template <typename F> void expectCharsetException(F f) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (core::UnsupportedCharacterSetException* e) {
        delete e;
    }
}
} // namespace

using StringTest = CoreTest;

TEST_F(StringTest, CopyOnWriteAndAppendingToItself) {
    String a("abc");
    String b = a;
    EXPECT_EQ(a.element(), b.element());
    const char* before = a.c_str();
    b += "def";
    EXPECT_EQ(before, a.c_str()); // a's cache untouched
    EXPECT_STREQ("abc", a.c_str());
    // Even a sole holder gets a fresh element: cached views of the old one stay valid.
    core::StringPoolElement* old = b.element();
    b += String("!");
    EXPECT_NE(old, b.element());
    EXPECT_STREQ("abcdef!", b.c_str());

    a += a;
    String shared = a;
    a += shared;
    EXPECT_STREQ("abcabcabcabc", a.c_str());
    EXPECT_STREQ("abcabc", shared.c_str());
    String empty;
    empty += empty;
    EXPECT_STREQ("xyz", (String("x") + empty + String("yz")).c_str());
}

TEST_F(StringTest, SubstringIndexOfAndRegionMatches) {
    String s("abcd");
    EXPECT_STREQ("bc", s.substring(1, 2).c_str());
    EXPECT_STREQ("cd", s.substring(2).c_str());
    EXPECT_EQ(0, s.substring(2, 1).length());
    EXPECT_STREQ("abcd", s.c_str()); // the source is unchanged
    EXPECT_EQ(2, s.indexOf(String("cd")));
    EXPECT_EQ(-1, s.indexOf(String("abcde")));
    EXPECT_EQ(0, s.indexOf(String()));
    EXPECT_EQ(-1, String().indexOf(String()));
    EXPECT_TRUE(s.regionMatches(1, 2, String("bcx")));
    EXPECT_FALSE(s.regionMatches(1, 3, String("bcx")));
    EXPECT_FALSE(s.regionMatches(3, 2, String("dd"))); // past this string's end
    EXPECT_FALSE(s.regionMatches(0, 3, String("ab"))); // past the other's end
    EXPECT_TRUE(s.regionMatches(9, 0, String()));
}

TEST_F(StringTest, ReplaceAllFormatAndForwardSlashes) {
    EXPECT_STREQ("xbxb", String("abab").replaceAll(String("a"), String("x")).c_str());
    EXPECT_STREQ("b", String("aab").replaceAll(String("a"), String()).c_str());
    // The replacement is never scanned again.
    EXPECT_STREQ("aaaa", String("aa").replaceAll(String("a"), String("aa")).c_str());
    String none("abc");
    EXPECT_TRUE(none.replaceAll(String(), String("y")) == none); // an empty find never occurs
    EXPECT_STREQ("C:/Data/a.lua", String("C:\\Data\\a.lua").toForwardSlashes().c_str());

    String s("old");
    String keep = s;
    s.format("%d-%s", 42, "x");
    EXPECT_STREQ("old", keep.c_str());
    s.format("%s!", s.c_str()); // formatting its own text
    EXPECT_STREQ("42-x!", s.c_str());
    s.format("%s", std::string(3000, 'q').c_str());
    EXPECT_EQ(std::string(2047, 'q'), s.c_str());
}

TEST_F(StringTest, Latin1AndUtf16ConversionsAndTheirExceptions) {
    String e("caf\xE9");
    EXPECT_EQ(0xE9, e.charAt(3));
    EXPECT_STREQ("caf\xE9", e.c_str());
    EXPECT_EQ('c' + 'a' + 'f' + (signed char)0xE9, e.narrowSum());
    // Above U+00FF narrowing truncates, and replaceAll keeps the wide text.
    const unsigned char wide[] = {0x41, 0x01, 0x42, 0x00, 0x00, 0x00}; // U+0141 'B', terminator
    String l = String::fromUTF16Bytes(sizeof wide, wide);
    EXPECT_EQ(0x141, l.replaceAll(String("q"), String("r")).charAt(0));
    EXPECT_STREQ("AB", l.c_str());

    // Marked little-endian text keeps its units; unmarked text gets the mark
    // and its last unit becomes the terminator.
    const unsigned char marked[] = {0xFF, 0xFE, 'h', 0, 'i', 0, 0, 0};
    EXPECT_EQ((std::vector<unsigned short>{0xFEFF, 'h', 'i', 0}), units(String::fromUTF16Bytes(8, marked)));
    const unsigned char plain[] = {'o', 0, 'k', 0, '?', 0};
    String p = String::fromUTF16Bytes(sizeof plain, plain);
    EXPECT_EQ((std::vector<unsigned short>{0xFEFF, 'o', 'k', 0}), units(p));
    EXPECT_STREQ("ok", p.c_str());
    EXPECT_STREQ("hi", String::fromUTF16Bytes(6, marked).c_str()) << "the terminator is added";
    // Big-endian text is not stored: an empty, still usable string.
    const unsigned char big[] = {0xFE, 0xFF, 0, 'a', 0, 0};
    String b = String::fromUTF16Bytes(sizeof big, big);
    b += "z";
    EXPECT_STREQ("z", b.c_str());

    // Odd and empty sizes, and a mark with one unit.
    for (int size : {3, 1, 0, 4})
        expectCharsetException([&] { String::fromUTF16Bytes(size, marked); });
}
