// A small PNG decoder for the tests, written from the PNG format itself on
// zlib alone (no libpng), so the loader's pixels can be checked against a
// decode that shares none of its code. It gives the image the loader is meant
// to produce: 8-bit samples (16-bit keep their high byte), palettes and grey
// expanded to RGB, alpha only for the colour types that carry it.
#pragma once
#include <zlib.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace pngref {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0; // 3 or 4
    std::vector<unsigned char> pixels;
};

inline uint32_t be32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

inline void putBe32(unsigned char* p, uint32_t v) {
    for (int s = 0; s < 4; ++s)
        p[s] = (unsigned char)(v >> (24 - 8 * s));
}

// Recomputes the CRC of every whole chunk after the signature, so that
// changed bytes get past a decoder's checksum test.
inline void fixChecksums(std::vector<unsigned char>& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length = be32(&png[at]);
        if (length > png.size() - at - 12) break;
        putBe32(&png[at + 8 + length], (uint32_t)crc32(0, png.data() + at + 4, (uInt)(length + 4)));
        at += 12 + length;
    }
}

inline int paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Decodes a valid PNG; false (with a reason) for anything it cannot read.
inline bool decode(const std::vector<unsigned char>& file, Image& out, std::string& why) {
    static const unsigned char SIG[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (file.size() < 8 || std::memcmp(file.data(), SIG, 8) != 0) return why = "signature", false;
    int width = 0, height = 0, depth = 0, type = 0, interlace = 0;
    std::vector<unsigned char> palette, idat;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t len = be32(&file[at]);
        if (at + 12 + len > file.size()) return why = "chunk length", false;
        const unsigned char* d = &file[at + 8];
        std::string kind((const char*)&file[at + 4], 4);
        if (kind == "IHDR") {
            width = (int)be32(d), height = (int)be32(d + 4), depth = d[8], type = d[9], interlace = d[12];
        } else if (kind == "PLTE") {
            palette.assign(d, d + len);
        } else if (kind == "IDAT") {
            idat.insert(idat.end(), d, d + len);
        } else if (kind == "IEND") {
            break;
        }
        at += 12 + len;
    }
    static const int CHANNELS[7] = {1, 0, 3, 1, 2, 0, 4};
    if (width <= 0 || height <= 0 || type > 6 || CHANNELS[type] == 0) return why = "header", false;
    int inChannels = CHANNELS[type];
    int bitsPerPixel = inChannels * depth;
    int filterBpp = (bitsPerPixel + 7) / 8;

    // Inflate the whole stream.
    std::vector<unsigned char> raw;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return why = "zlib", false;
    z.next_in = idat.data();
    z.avail_in = (uInt)idat.size();
    unsigned char buf[65536];
    int rc;
    do {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        raw.insert(raw.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return why = "inflate", false;

    out.width = width;
    out.height = height;
    out.channels = (type & 4) ? 4 : 3;
    out.pixels.assign((size_t)width * height * out.channels, 0);

    // Adam7 passes: start x, start y, step x, step y; one pass for plain images.
    static const int PASSES[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const int PLAIN[1][4] = {{0, 0, 1, 1}};
    const int(*passes)[4] = interlace ? PASSES : PLAIN;
    int passCount = interlace ? 7 : 1;
    size_t pos = 0;
    int maxSample = (1 << depth) - 1;
    for (int p = 0; p < passCount; ++p) {
        int pw = (width - passes[p][0] + passes[p][2] - 1) / passes[p][2];
        int ph = (height - passes[p][1] + passes[p][3] - 1) / passes[p][3];
        if (pw <= 0 || ph <= 0) continue;
        size_t rowBytes = ((size_t)pw * bitsPerPixel + 7) / 8;
        std::vector<unsigned char> prev(rowBytes, 0), row(rowBytes);
        for (int y = 0; y < ph; ++y) {
            if (pos + 1 + rowBytes > raw.size()) return why = "short data", false;
            int filter = raw[pos++];
            for (size_t i = 0; i < rowBytes; ++i) {
                int x = raw[pos + i];
                int a = i >= (size_t)filterBpp ? row[i - filterBpp] : 0;
                int b = prev[i];
                int c = i >= (size_t)filterBpp ? prev[i - filterBpp] : 0;
                switch (filter) {
                case 0: break;
                case 1: x += a; break;
                case 2: x += b; break;
                case 3: x += (a + b) / 2; break;
                case 4: x += paeth(a, b, c); break;
                default: return why = "filter", false;
                }
                row[i] = (unsigned char)x;
            }
            pos += rowBytes;
            for (int px = 0; px < pw; ++px) {
                // Samples of this pixel as 8-bit values (index values kept raw).
                int s[4] = {0, 0, 0, 0};
                for (int ch = 0; ch < inChannels; ++ch) {
                    if (depth >= 8) {
                        s[ch] = row[((size_t)px * inChannels + ch) * (depth / 8)]; // high byte
                    } else {
                        size_t bit = (size_t)px * depth;
                        int v = (row[bit / 8] >> (8 - depth - (int)(bit % 8))) & maxSample;
                        s[ch] = type == 3 ? v : v * 255 / maxSample;
                    }
                }
                unsigned char* o = &out.pixels[(((size_t)(passes[p][1] + y * passes[p][3])) * width +
                                                (size_t)(passes[p][0] + px * passes[p][2])) *
                                               out.channels];
                switch (type) {
                case 0: o[0] = o[1] = o[2] = (unsigned char)s[0]; break;
                case 2: o[0] = (unsigned char)s[0], o[1] = (unsigned char)s[1], o[2] = (unsigned char)s[2]; break;
                case 3:
                    if ((size_t)s[0] * 3 + 2 >= palette.size()) return why = "palette index", false;
                    std::memcpy(o, &palette[(size_t)s[0] * 3], 3);
                    break;
                case 4: o[0] = o[1] = o[2] = (unsigned char)s[0], o[3] = (unsigned char)s[1]; break;
                case 6: for (int ch = 0; ch < 4; ++ch) o[ch] = (unsigned char)s[ch]; break;
                }
            }
            prev = row;
        }
    }
    return true;
}

} // namespace pngref
