// functions.h - the library's exported functions, listed once.
//
// The entmlst tool, the test adapters, the call fuzzer and the benchmarks
// expand these lists instead of naming the functions themselves, so a new
// setting group is added to the library, corvellib.h, the simulator's
// catalogue, ENTMLST_SETTING_GROUPS below and its field list in fields.h. A
// list says which functions exist and how they are called, never what they
// should do: what a caller expects (masks, texts, codes) stays written by
// each user on its own.
//
// Not installed: callers of the library see corvellib.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "corvellib.h"

namespace corvel::registry {

// How a group's rows are laid out in the library: one settings ID per row,
// one per recipient and row, or read-only rows whose width only the store
// knows.
enum class RowKind : uint8_t { single, recipient, read };
enum class Instances : uint8_t { once, per_recipient }; // per_recipient: recipient or user 1..3
enum class Access : uint8_t { read_write, read_only };

// X(Name, "tool name", "summary", Record, RowKind, Instances, Access, Get, Set)
//   Name       the group in code: tests and benchmarks name it so
//   tool name  the group on the entmlst command line
//   summary    the group in one line, as the tool lists it
//   Get, Set   its functions; Set is nullptr for a read-only group
// In the order the tool lists them.
#define ENTMLST_SETTING_GROUPS(X)                                                                            \
    X(Pop3, "pop3", "POP3 server", ENTMLSTPOP3, single, once, read_write, entMLSTGetPop3, entMLSTSetPop3)    \
    X(Pop3User, "pop3user", "POP3 user 1..3", ENTMLSTPOP3USER, recipient, per_recipient, read_write,         \
      entMLSTGetPop3User, entMLSTSetPop3User)                                                                \
    X(Smtp, "smtp", "SMTP server", ENTMLSTSMTP, single, once, read_write, entMLSTGetSmtp, entMLSTSetSmtp)    \
    X(SmtpEvent, "smtp-event", "event-report recipient 1..3", ENTMLSTSMTPEVENT, recipient, per_recipient,    \
      read_write, entMLSTGetSmtpEvent, entMLSTSetSmtpEvent)                                                  \
    X(SmtpSch, "smtp-schedule", "schedule-report recipient 1..3", ENTMLSTSMTPSCH, recipient, per_recipient,  \
      read_write, entMLSTGetSmtpSch, entMLSTSetSmtpSch)                                                      \
    X(EvrLastSend, "event-last-send", "last event report sent, recipient 1..3", ENTMLSTLASTSEND, recipient,  \
      per_recipient, read_write, entMLSTGetEvrLastSend, entMLSTSetEvrLastSend)                               \
    X(ScrLastSend, "schedule-last-send", "last schedule report sent, recipient 1..3", ENTMLSTLASTSEND,       \
      recipient, per_recipient, read_write, entMLSTGetScrLastSend, entMLSTSetScrLastSend)                    \
    X(Mainte, "maintenance", "maintenance report", ENTMLSTMAINTE, single, once, read_write,                  \
      entMLSTGetMainte, entMLSTSetMainte)                                                                    \
    X(MainteLastSend, "maintenance-last-send", "last maintenance report sent", ENTMLSTLASTSEND, single,      \
      once, read_write, entMLSTGetMainteLastSend, entMLSTSetMainteLastSend)                                  \
    X(Counter, "counters", "counters (read only)", ENTMLSTCOUNTER, read, once, read_only, entMLSTCounter,    \
      nullptr)                                                                                               \
    X(Subject, "subject", "subject values (read only)", ENTMLSTSUBJECT, read, once, read_only,               \
      entMLSTGetSubject, nullptr)                                                                            \
    X(HostBuffer, "host-buffer", "host buffer (read only)", ENTMLSTHOSTBUFFER, read, once, read_only,        \
      entMLSTGetHostBuffer, nullptr)

// How the other functions take their arguments.
enum class Shape : uint8_t {
    start,     // (destination area)
    sync,      // ()
    record,    // (job ID, Record *), or (job ID, const Record *) when it writes
    value,     // (job ID, destination of sizeof(Record) bytes)
    any_value, // (job ID, value ID, destination as wide as the device's value)
    children,  // (job ID, link kind, capacity, Record entries[], count)
};

// Destinations of the single-value job functions, as wide as the header says.
using JobPath = uint8_t[ENTMLST_JOB_PATH_SIZE];
using FaxRepAddImg = uint8_t[ENTMLST_FAX_REP_ADD_IMG_SIZE];

// X(Function, Shape, Access, Record): start-up, before the setting groups.
#define ENTMLST_START_FUNCTIONS(X)                                                                           \
    X(entMLSTInit, start, read_write, void)                                                                  \
    X(entMLSTSyncMe, sync, read_only, void)

// X(Function, "tool read", Shape, Access, Record): job information, after the
// setting groups. The tool read is the `entmlst job` command that reads the
// record, or nullptr.
#define ENTMLST_JOB_FUNCTIONS(X)                                                                             \
    X(entMLSTGetIpJob, "ip", record, read_only, ENTMLSTIPJOB)                                                \
    X(entMLSTGetIpJobRst, nullptr, any_value, read_only, void)                                               \
    X(entMLSTGetIpJobBox, nullptr, value, read_only, ::corvel::registry::JobPath)                            \
    X(entMLSTGetFaxRepAddImg, nullptr, value, read_only, ::corvel::registry::FaxRepAddImg)                   \
    X(entMLSTGetFaxImgDataPath, "fax-path", value, read_only, ::corvel::registry::JobPath)                   \
    X(entMLSTGetSendJobResult, nullptr, children, read_only, ENTMLSTSENDRESULT)                              \
    X(entMLSTGetPrnJobEnd, "print-end", record, read_only, ENTMLSTPRNJOBEND)                                 \
    X(entMLSTGetCurSend, "current-send", record, read_only, ENTMLSTCURSEND)                                  \
    X(entMLSTSetMailAttach, nullptr, record, read_write, ENTMLSTMAILATTACH)

// ---- what the lists add up to ---------------------------------------------------

#define ENTMLST_REGISTRY_COUNT_GROUP_(Name, tool, summary, Rec, rows, inst, access, Get, Set)                \
    +(::corvel::registry::Access::access == ::corvel::registry::Access::read_write ? 2 : 1)
#define ENTMLST_REGISTRY_COUNT_ONE_(...) +1
inline constexpr std::size_t kGroupCount = 0 ENTMLST_SETTING_GROUPS(ENTMLST_REGISTRY_COUNT_ONE_);
inline constexpr std::size_t kFunctionCount = 0 ENTMLST_START_FUNCTIONS(ENTMLST_REGISTRY_COUNT_ONE_)
    ENTMLST_SETTING_GROUPS(ENTMLST_REGISTRY_COUNT_GROUP_) ENTMLST_JOB_FUNCTIONS(ENTMLST_REGISTRY_COUNT_ONE_);
#undef ENTMLST_REGISTRY_COUNT_GROUP_
#undef ENTMLST_REGISTRY_COUNT_ONE_

// Every function's name, in list order: start-up, then each group's Get and
// Set, then the job functions.
#define ENTMLST_REGISTRY_NAME_GROUP_(Name, tool, summary, Rec, rows, inst, access, Get, Set)                 \
#Get, ENTMLST_REGISTRY_NAME_SET_##access(Set)
#define ENTMLST_REGISTRY_NAME_SET_read_write(Set) #Set,
#define ENTMLST_REGISTRY_NAME_SET_read_only(Set)
#define ENTMLST_REGISTRY_NAME_FN_(Function, ...) #Function,
inline constexpr const char *kFunctionNames[] = {ENTMLST_START_FUNCTIONS(ENTMLST_REGISTRY_NAME_FN_)
                                                     ENTMLST_SETTING_GROUPS(ENTMLST_REGISTRY_NAME_GROUP_)
                                                         ENTMLST_JOB_FUNCTIONS(ENTMLST_REGISTRY_NAME_FN_)};
#undef ENTMLST_REGISTRY_NAME_GROUP_
#undef ENTMLST_REGISTRY_NAME_SET_read_write
#undef ENTMLST_REGISTRY_NAME_SET_read_only
#undef ENTMLST_REGISTRY_NAME_FN_
static_assert(std::size(kFunctionNames) == kFunctionCount);

// ---- one signature for every group's Get and Set ---------------------------------

// recipient is ignored by groups that exist once.
using GetFn = uint32_t (*)(uint32_t recipient, void *record);
using SetFn = uint32_t (*)(uint32_t mask, uint32_t recipient, const void *record);

template <auto Get, typename Rec, Instances inst>
uint32_t uniformGet(uint32_t recipient, void *record) {
    if constexpr (inst == Instances::per_recipient)
        return Get(recipient, static_cast<Rec *>(record));
    else
        return Get(static_cast<Rec *>(record));
}

template <auto Set, typename Rec, Instances inst>
uint32_t uniformSetCall(uint32_t mask, uint32_t recipient, const void *record) {
    if constexpr (inst == Instances::per_recipient)
        return Set(mask, recipient, static_cast<const Rec *>(record));
    else
        return Set(mask, static_cast<const Rec *>(record));
}

// The Set behind SetFn, or nullptr for a read-only group.
template <auto Set, typename Rec, Instances inst>
constexpr SetFn uniformSet() {
    if constexpr (std::is_null_pointer_v<decltype(Set)>)
        return nullptr;
    else
        return uniformSetCall<Set, Rec, inst>;
}

// ---- each entry agrees with the header's prototype ------------------------------

namespace check {

template <auto Get, typename Rec, Instances inst>
constexpr bool getter() {
    using Once = uint32_t (*)(Rec *);
    using PerRecipient = uint32_t (*)(uint32_t, Rec *);
    return std::is_same_v<decltype(Get), std::conditional_t<inst == Instances::once, Once, PerRecipient>>;
}

template <auto Set, typename Rec, Instances inst, Access access>
constexpr bool setter() {
    if constexpr (access == Access::read_only) {
        return std::is_same_v<decltype(Set), std::nullptr_t>;
    } else {
        using Once = uint32_t (*)(uint32_t, const Rec *);
        using PerRecipient = uint32_t (*)(uint32_t, uint32_t, const Rec *);
        return std::is_same_v<decltype(Set), std::conditional_t<inst == Instances::once, Once, PerRecipient>>;
    }
}

// Recipient rows and per-recipient groups go together, and read rows are
// what makes a group read-only.
constexpr bool rowsMatch(RowKind rows, Instances inst, Access access) {
    return (rows == RowKind::recipient) == (inst == Instances::per_recipient) &&
           (rows == RowKind::read) == (access == Access::read_only);
}

template <auto F, Shape shape, Access access, typename Rec>
constexpr bool other() {
    using Dst = std::conditional_t<access == Access::read_only, Rec, const Rec>;
    switch (shape) {
    case Shape::start:
        return std::is_same_v<decltype(F), uint32_t (*)(uint32_t)>;
    case Shape::sync:
        return std::is_same_v<decltype(F), uint32_t (*)()>;
    case Shape::record:
        if constexpr (!std::is_void_v<Rec>) return std::is_same_v<decltype(F), uint32_t (*)(uint32_t, Dst *)>;
        return false;
    case Shape::value:
        return std::is_same_v<decltype(F), uint32_t (*)(uint32_t, void *)> && !std::is_void_v<Rec>;
    case Shape::any_value:
        return std::is_same_v<decltype(F), uint32_t (*)(uint32_t, uint32_t, void *)>;
    case Shape::children:
        if constexpr (!std::is_void_v<Rec>)
            return std::is_same_v<decltype(F), uint32_t (*)(uint32_t, int32_t, int32_t, Rec *, int32_t *)>;
        return false;
    }
    return false;
}

#define ENTMLST_REGISTRY_CHECK_GROUP_(Name, tool, summary, Rec, rows, inst, access, Get, Set)                \
    static_assert(getter<Get, Rec, Instances::inst>(), #Get ": not the header's prototype for " #Rec);       \
    static_assert(setter<Set, Rec, Instances::inst, Access::access>(),                                       \
                  #Name ": Set is not the header's prototype for " #Rec);                                    \
    static_assert(rowsMatch(RowKind::rows, Instances::inst, Access::access),                                 \
                  #Name ": row kind, instances and access disagree");
ENTMLST_SETTING_GROUPS(ENTMLST_REGISTRY_CHECK_GROUP_)
#undef ENTMLST_REGISTRY_CHECK_GROUP_

#define ENTMLST_REGISTRY_CHECK_START_(F, shape, access, Rec)                                                 \
    static_assert(other<F, Shape::shape, Access::access, Rec>(), #F ": not the header's prototype");
#define ENTMLST_REGISTRY_CHECK_JOB_(F, tool, shape, access, Rec)                                             \
    ENTMLST_REGISTRY_CHECK_START_(F, shape, access, Rec)
ENTMLST_START_FUNCTIONS(ENTMLST_REGISTRY_CHECK_START_)
ENTMLST_JOB_FUNCTIONS(ENTMLST_REGISTRY_CHECK_JOB_)
#undef ENTMLST_REGISTRY_CHECK_START_
#undef ENTMLST_REGISTRY_CHECK_JOB_

} // namespace check

} // namespace corvel::registry
