// job_words.h - how the job commands read a job ID (a link kind: values.h).
#pragma once

#include <cstdint>
#include <string>

namespace entmlst {

uint32_t jobId(const std::string &text); // throws UsageError

} // namespace entmlst
