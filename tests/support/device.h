// Test fixture: a fresh simulated device for every test, and the checks that
// hold after any call whatever it returned.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "corvellib.h"
#include "devsim.h"
#include "support/calls.h"

namespace corvel::test {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        devsim::reset();
        devsim::fakeSleep(true);
    }
    void TearDown() override {
        // Whatever a call returned, it released its work buffer and broke no
        // rule of the device.
        EXPECT_EQ(devsim::memStats().live, 0u) << "work buffer not released";
        EXPECT_TRUE(devsim::violations().empty()) << firstViolation();
        devsim::fakeSleep(false);
    }

    static std::string firstViolation() {
        auto v = devsim::violations();
        return v.empty() ? std::string() : v.front();
    }

    // Monitor texts received since the last reset.
    static std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const auto &l : simtest::monitor()) out.push_back(l.text);
        return out;
    }

    static devsim::Bytes stored(uint32_t id) { return devsim::setting(id).value(); }
};

// Bytes of any record, for byte-level comparisons.
template <typename T>
devsim::Bytes bytesOf(const T &rec) {
    const auto *p = reinterpret_cast<const uint8_t *>(&rec);
    return devsim::Bytes(p, p + sizeof rec);
}

template <typename T>
T filled(uint8_t pattern) {
    T rec;
    std::memset(&rec, pattern, sizeof rec);
    return rec;
}

} // namespace corvel::test
