#include "Pictures.h"
#include <algorithm>
#include <cmath>

namespace demo_model {

namespace {

unsigned char byte(float v) { return (unsigned char)std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f); }

void put(Picture& p, int x, int y, float r, float g, float b, float a) {
    unsigned char* px = &p.rgba[(size_t)(y * p.width + x) * 4];
    px[0] = byte(r);
    px[1] = byte(g);
    px[2] = byte(b);
    px[3] = byte(a);
}

// Coverage of a shape edge at signed distance d (pixels; negative inside).
float cover(float d) { return std::clamp(0.5f - d, 0.0f, 1.0f); }

} // namespace

Picture drawBadge(int size) {
    Picture p;
    p.width = p.height = size;
    p.rgba.assign((size_t)size * size * 4, 0);
    float c = size * 0.5f, radius = size * 0.47f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float px = x + 0.5f - c, py = y + 0.5f - c;
            float d = std::sqrt(px * px + py * py);
            float disc = cover(d - radius);
            if (disc <= 0.0f) continue;
            // Blue, lighter towards the top left.
            float t = std::clamp(0.5f - (px + py) / (2.0f * size), 0.0f, 1.0f);
            float r = 0.10f + 0.15f * t, g = 0.25f + 0.30f * t, b = 0.55f + 0.35f * t;
            float ring = cover(std::fabs(d - radius * 0.86f) - size * 0.025f);
            // The letter: a stem and a bowl (a ring on the stem's upper half).
            float u = px / size, v = py / size;
            float stem = (u > -0.20f && u < -0.09f && v > -0.27f && v < 0.27f) ? 1.0f : 0.0f;
            float bu = u + 0.03f, bv = v + 0.10f;
            float bowlR = std::sqrt(bu * bu * 1.3f + bv * bv);
            float bowl = (u > -0.10f && std::fabs(bowlR - 0.135f) < 0.05f) ? 1.0f : 0.0f;
            float white = std::max(ring, std::max(stem, bowl));
            put(p, x, y, r + (1 - r) * white, g + (1 - g) * white, b + (1 - b) * white, disc);
        }
    }
    return p;
}

Picture drawSkin(int size) {
    Picture p;
    p.width = p.height = size;
    p.rgba.assign((size_t)size * size * 4, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            // Scales: a staggered grid of rounded cells.
            float su = u * 12.0f, sv = v * 8.0f + ((int)std::floor(su) % 2) * 0.5f;
            float fu = su - std::floor(su) - 0.5f, fv = sv - std::floor(sv) - 0.5f;
            float cell = 1.0f - std::clamp(std::sqrt(fu * fu + fv * fv) * 1.6f, 0.0f, 1.0f);
            float band = 0.5f + 0.5f * std::sin(u * 6.2831853f * 3.0f);
            float r = 0.10f + 0.10f * band, g = 0.45f + 0.25f * cell, b = 0.40f + 0.15f * band;
            // Dark spots along the back.
            float du = std::fmod(u * 5.0f, 1.0f) - 0.5f, dv = (v - 0.2f) * 3.0f;
            if (du * du + dv * dv < 0.06f) {
                r *= 0.35f;
                g *= 0.35f;
                b *= 0.45f;
            }
            // A pale belly stripe.
            float belly = std::clamp(1.0f - std::fabs(v - 0.75f) * 8.0f, 0.0f, 1.0f);
            r += (0.85f - r) * belly;
            g += (0.80f - g) * belly;
            b += (0.55f - b) * belly;
            put(p, x, y, r, g, b, 1.0f);
        }
    }
    return p;
}

} // namespace demo_model
