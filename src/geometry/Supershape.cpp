#include "geometry/Supershape.h"
#include "core/AssertionSites.h"
#include "core/DebugLog.h"
#include <cmath>

float Superformula::radius(float t) const {
    const float m4 = m * 0.25f;
    const float e = (float)(-1.0 / n1);
    float c = std::fabs(std::cos(m4 * t) / a);
    float s = std::fabs(std::sin(m4 * t) / b);
    return std::pow(std::pow(c, n2) + std::pow(s, n3), e);
}

void addSupershape(Mesh_Builder* mb, int ptsLong, int ptsLat, const Superformula& longitude,
                   const Superformula& latitude) {
    if (ptsLong < 1 || ptsLat < 1) return;
    const float PI = 3.1415927f, HALF_PI = 1.5707964f, TWO_PI = 6.2831855f;
    const uint32_t N2 = (uint32_t)ptsLong, N3 = (uint32_t)ptsLat;
    const uint32_t base = mb->nv;

    for (uint32_t i = 0; i <= N3; ++i) {
        float phi = (float)i / (float)N3 * PI - HALF_PI;
        float r2 = latitude.radius(phi);
        // The row check counts a full ring even for the single-vertex poles.
        if ((uint64_t)mb->nv + N2 >= MAXSIZE) {
            core::assertFailure(assertion::SUPERSHAPE_VERTICES);
        }
        uint32_t count = (i == 0 || i == N3) ? 1 : N2;
        float cosPhi = std::cos(phi), sinPhi = std::sin(phi);
        for (uint32_t j = 0; j < count; ++j) {
            float theta = (float)j / (float)N2 * TWO_PI - PI;
            float r1 = longitude.radius(theta);
            float* p = mb->verts[mb->nv];
            p[0] = r1 * std::cos(theta) * r2 * cosPhi;
            p[1] = r1 * std::sin(theta) * r2 * cosPhi;
            p[2] = r2 * sinPhi;
            mb->nv += 1;
        }
    }

    for (uint32_t i = 0; i < N3; ++i) {
        uint32_t A = i == 0 ? base : base + 1 + (i - 1) * N2;
        uint32_t B = i == 0 ? base + 1 : A + N2;
        if ((uint64_t)mb->nq + N2 >= MAXSIZE) {
            core::assertFailure(assertion::SUPERSHAPE_QUADS);
        }
        bool south = i == 0, north = i == N3 - 1;
        for (uint32_t k = 0; k < N2; ++k) {
            uint32_t k1 = (k + 1) % N2;
            uint32_t* q = mb->quads[mb->nq];
            q[0] = south ? A : A + k1;
            q[1] = south ? A : A + k;
            q[2] = north ? B : B + k;
            q[3] = north ? B : B + k1;
            mb->nq += 1;
        }
    }
}
