// The calls a test looks at, read from the device's log, and a fault armed
// the short way: what the suites used before the control API gave way to
// the log and the fault grammar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "devsim.h"

namespace simtest {

// A service call as logged: service, args, result, done, and for
// emwGENMonSendMessage the line as text.
using Call = devsim::LogEntry;

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
    for (Call &e : devsim::log(after))
        if (e.kind == devsim::LogKind::call || e.kind == devsim::LogKind::notification ||
            e.kind == devsim::LogKind::monitor)
            out.push_back(std::move(e));
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

// The monitor's lines since the device was reset: args module, class, 0.
inline std::vector<Call> monitor() {
    devsim::LogFilter lines;
    lines.kind = devsim::LogKind::monitor;
    return devsim::log(lines);
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

} // namespace simtest
