// commands.h - the entmlst commands. Each validates its input first, then
// holds the device for one transaction and makes its library calls.
#pragma once

#include "device_session.h"
#include "record_fields.h"

#include <cstdint>
#include <string>
#include <vector>

namespace entmlst {

struct Options {
    std::string device; // resolved path; empty on the device build
    bool json = false;
    std::vector<ArmedFault> faults;
};

// Prints a command's outcome (body, what the device received, result) as
// text or JSON and returns the exit status: 0 only for ENTMLST_OK.
int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code);

int runInit(const Options &o, uint32_t area);
int runSync(const Options &o);
int runLog(const Options &o);

int runGroups(const Options &o);
int runGet(const Options &o, const std::string &group, const std::string &recipient);
int runSet(const Options &o, const std::string &group, const std::string &recipient,
           const std::vector<std::string> &assignments);

int runJobCreate(const Options &o, const std::string &job, const std::string &parent,
                 const std::vector<std::string> &values);
int runJobLink(const Options &o, const std::string &job, const std::string &kind, const std::string &child);
int runJobRead(const Options &o, const std::string &what, const std::string &job);
int runJobSendResult(const Options &o, const std::string &job, const std::string &kind, uint32_t capacity);
int runJobAttach(const Options &o, const std::string &job, const std::vector<std::string> &assignments);

} // namespace entmlst
