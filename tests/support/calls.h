// The calls a test looks at, read from the device's log, and faults armed
// the short way: what the suites used before the control API gave way to
// the log and the fault grammar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devsim.h"

namespace simtest {

// One service call as logged. For emwGENMonSendMessage, text is the line.
struct Call {
    devsim::Service service;
    std::vector<uint64_t> args;
    uint32_t result = 0;
    std::string text;
    bool done = false;
};

// The newest entry clearCalls() hid; forgotten when the log starts again
// (a new device numbers its entries from 1).
inline uint64_t &callsMark() {
    static uint64_t mark = 0;
    return mark;
}

// The service calls since the device was reset (or clearCalls()), oldest first.
inline std::vector<Call> calls() {
    devsim::LogFilter after;
    after.after_seq = callsMark() <= devsim::lastLogSeq() ? callsMark() : 0;
    std::vector<Call> out;
    for (devsim::LogEntry &e : devsim::log(after)) {
        using K = devsim::LogKind;
        if (e.kind == K::call || e.kind == K::notification || e.kind == K::monitor)
            out.push_back(
                {e.service, std::move(e.args), e.result, e.kind == K::monitor ? e.text : "", e.done});
    }
    return out;
}

inline std::vector<Call> calls(devsim::Service s) {
    std::vector<Call> out;
    for (Call &c : calls())
        if (c.service == s) out.push_back(std::move(c));
    return out;
}

inline std::size_t callCount(devsim::Service s) { return calls(s).size(); }

// Hides the calls logged so far from calls(), leaving the log as it is.
inline void clearCalls() { callsMark() = devsim::lastLogSeq(); }

// A line the monitor received: its first three arguments and the line.
struct MonitorLine {
    uint32_t module = 0;
    uint32_t msg_class = 0;
    uint32_t zero = 0;
    std::string text;
};

// The monitor's lines since the device was reset.
inline std::vector<MonitorLine> monitor() {
    std::vector<MonitorLine> out;
    devsim::LogFilter lines;
    lines.kind = devsim::LogKind::monitor;
    for (devsim::LogEntry &e : devsim::log(lines))
        if (e.args.size() == 3)
            out.push_back({static_cast<uint32_t>(e.args[0]), static_cast<uint32_t>(e.args[1]),
                           static_cast<uint32_t>(e.args[2]), std::move(e.text)});
    return out;
}

// Fails the nth call of s from now with code, as a fault kept with the device.
inline void failCall(devsim::Service s, unsigned nth, uint32_t code, bool write_first = false) {
    devsim::FaultSpec spec;
    spec.service = s;
    spec.nth = nth;
    spec.code = code;
    spec.write_first = write_first;
    devsim::addFault(spec);
}

// Fails each call of s with the given probability, drawn from seed.
inline void failRandomly(devsim::Service s, double percent, uint64_t seed, uint32_t code) {
    devsim::FaultSpec spec;
    spec.service = s;
    spec.percent = percent;
    spec.seed = seed;
    spec.code = code;
    devsim::addFault(spec);
}

} // namespace simtest
