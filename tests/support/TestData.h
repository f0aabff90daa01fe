// Test support: where the files the tests read live: tests/data/, and the
// M3G corpus (not redistributable) in the folder PELLORAN_CORPUS names.
#pragma once
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

namespace testsupport {

// tests/data/<name> in the source tree.
inline std::string dataFile(const std::string& name) {
    return std::string(PELLORAN_SOURCE_DIR) + "/tests/data/" + name;
}

// The PNG conformance suite (with its licence), with a trailing slash.
inline std::string pngSuite() {
    return dataFile("pngsuite/");
}

// Base of the tests that read the corpus (*CorpusTest.cpp, label `corpus`),
// skipped without it. corpusFile("m3g/ball.m3g") is a file of it.
class CorpusTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("PELLORAN_CORPUS");
        m_dir = dir ? dir : "";
        if (m_dir.empty())
            GTEST_SKIP()
                << "PELLORAN_CORPUS is not set: the M3G corpus may not be redistributed, so it is not in "
                   "the repository; point PELLORAN_CORPUS at the folder that holds it (scripts/run-tests.sh "
                   "uses the shared test data beside the clone when it is there)";
    }
    std::string corpusFile(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
};

} // namespace testsupport
