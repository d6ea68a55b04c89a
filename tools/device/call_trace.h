// call_trace.h - what a program did to the device, as text that stays the
// same from run to run: one line per service call it made, with the names
// and values of what it read and wrote and the answer, and no addresses,
// pids, times or log numbers. For snapshot tests (run --expect-trace,
// log --trace, the pytest fixture's expect_trace).
#pragma once

#include "base/json.h"
#include "devsim.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace entmlst {

// The trace of the service calls among entries, one line each:
//   SERVICE(ARG, ...) = RESULT   or   SERVICE(ARG, ...) -> ANSWER = RESULT
// An argument is a number in hex, a settings ID by its names ('|' between
// names groups share) and a job value ID by its name; the bytes the call
// moved follow that name as NAME=VALUE, written as get and job show print
// them (a password as "********"); a link call's answer follows "->"; a
// monitor line follows its arguments as "TEXT". Pointers are left out.
std::string callTrace(const std::vector<devsim::LogEntry> &entries);
// Why text is not a trace (each line one service's call, as above), or
// nullopt when it is one.
std::optional<std::string> notATrace(std::string_view text);
// The lines that differ between two texts as a unified diff with three
// lines of context; empty when they are equal.
std::string unifiedDiff(const std::string &from_name, const std::string &from, const std::string &to_name,
                        const std::string &to);

// A job value's bytes as job show prints them: a number up to 4 bytes
// wide, else text (hex: when it is not).
Json valueJson(uint32_t value_id, const devsim::Bytes &bytes);

} // namespace entmlst
