// Helpers for suites that make device services fail: the call log without
// the monitor, arming a fault on "the k-th service call of a clean run", and
// what a run changed in the settings store and the job values.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "devsim.h"
#include "support/calls.h"

namespace corvel::test {

// Lower-case hex without prefix or leading zeros, as the monitor prints %x.
inline std::string hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(v));
    return buf;
}

// Every call since the last reset except monitor lines, which the faults
// never target and which are checked separately.
inline std::vector<simtest::Call> serviceCalls() {
    std::vector<simtest::Call> out;
    for (auto &c : simtest::calls())
        if (c.service != devsim::Service::emwGENMonSendMessage) out.push_back(std::move(c));
    return out;
}

inline std::vector<devsim::Service> servicesOf(const std::vector<simtest::Call> &log) {
    std::vector<devsim::Service> out;
    for (const auto &c : log) out.push_back(c.service);
    return out;
}

// Arms code on the call that came k-th (1-based) in a clean run: the
// simulator counts faults per service, so this is that service's n-th call.
inline void failAt(const std::vector<simtest::Call> &clean, std::size_t k, uint32_t code,
                   bool write_first = false) {
    const devsim::Service s = clean.at(k - 1).service;
    unsigned nth = 0;
    for (std::size_t i = 0; i < k; ++i) nth += clean[i].service == s ? 1 : 0;
    simtest::failCall(s, nth, code, write_first);
}

// Services that can do their work and still answer a failure; for them a
// write_first fault is a different failure point.
inline bool writesBeforeFailing(devsim::Service s) {
    using S = devsim::Service;
    static const std::set<S> kWriters{
        S::meSTCGetStatus,       S::meSTCSetStatus,       S::meSVCGetCurrent,     S::meSVCSetCurrent,
        S::mectSVCGetParentLink, S::mectSVCGetChildLink,  S::mectGetChildLinkNum, S::mectGetChildLink,
        S::mectSVCGetCurrent,    S::emwOSWOrgAllocMemPart};
    return kWriters.count(s) != 0;
}

// Keys of stored settings and job values, as one comparable set.
using Key = std::pair<uint32_t, uint32_t>; // (0, settings ID) or (job ID, value ID)

// Keys whose value differs between two snapshots.
inline std::set<Key> changedKeys(const devsim::State &before, const devsim::State &after) {
    std::set<Key> out;
    for (const auto &[id, v] : after.settings) {
        auto it = before.settings.find(id);
        if (it == before.settings.end() || it->second != v) out.insert({0, id});
    }
    for (const auto &[key, v] : after.job_values) {
        auto it = before.job_values.find(key);
        if (it == before.job_values.end() || it->second != v) out.insert(key);
    }
    return out;
}

// The value a snapshot holds under a key.
inline devsim::Bytes valueAt(const devsim::State &s, const Key &k) {
    if (k.first == 0 && s.settings.count(k.second)) return s.settings.at(k.second);
    auto it = s.job_values.find(k);
    return it == s.job_values.end() ? devsim::Bytes{} : it->second;
}

// The key a store or job-value write of the log targets, if the call is one.
inline bool writeKey(const simtest::Call &c, Key &key) {
    if (c.service == devsim::Service::meSTCSetStatus)
        key = {0, uint32_t(c.args[2])};
    else if (c.service == devsim::Service::meSVCSetCurrent)
        key = {uint32_t(c.args[1]), uint32_t(c.args[2])};
    else
        return false;
    return true;
}

} // namespace corvel::test
