// A vertex as OpenSubdiv's primvar refiner wants it: the comparisons and
// benchmarks refine positions through it.
#pragma once

namespace testsupport {

struct OsdPoint {
    float p[3];
    void Clear() { p[0] = p[1] = p[2] = 0; }
    void AddWithWeight(const OsdPoint& s, float w) {
        p[0] += w * s.p[0];
        p[1] += w * s.p[1];
        p[2] += w * s.p[2];
    }
};

} // namespace testsupport
