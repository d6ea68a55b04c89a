// job_words.h - how the job commands read a job ID and a link kind.
#pragma once

#include <cstdint>
#include <string>

namespace entmlst {

uint32_t jobId(const std::string &text);   // throws UsageError
int32_t linkKind(const std::string &text); // a number, fax or mail; throws UsageError

} // namespace entmlst
