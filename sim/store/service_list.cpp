// service_list.cpp - the services' table and the log kinds' names, expanded
// from their lists, with each row's logged count checked against the
// parameter list its prototype was expanded from.
#include "devsim_types.h"

#include <iterator>
#include <type_traits>

namespace devsim {
namespace {

// How many arguments a service logs, read off its prototype: a variadic
// service logs those before its format, which becomes the entry's text.
template <typename... A>
constexpr std::size_t logged(uint32_t (*)(A...)) {
    return sizeof...(A);
}
template <typename... A>
constexpr std::size_t logged(uint32_t (*)(A..., ...)) {
    return sizeof...(A) - 1;
}

// Bit i for each of the first args parameters whose declaration has a '*'.
constexpr unsigned pointersIn(const char *params, std::size_t args) {
    unsigned bits = 0;
    std::size_t i = 0;
    for (const char *p = params; *p != '\0'; ++p) {
        if (*p == ',') ++i;
        if (*p == '*' && i < args) bits |= 1u << i;
    }
    return bits;
}

struct ServiceRow {
    const char *name;
    LogKind kind;
    std::size_t args;
    unsigned settings; // bit i: argument i is a settings ID
    unsigned ids;      // bit i: argument i is a job or value ID
    unsigned pointers; // bit i: argument i is a pointer
};
#define DEVSIM_SERVICE_ROW(name, kind, args, settings, ids, params, ...)                                     \
    {#name, LogKind::kind, args, settings, ids, pointersIn(#params, args)},
constexpr ServiceRow kServices[] = {CORVEL_DEVICE_SERVICES(DEVSIM_SERVICE_ROW)};
#undef DEVSIM_SERVICE_ROW
static_assert(std::size(kServices) == kServiceCount);
static_assert(pointersIn("(uint32_t a, void **b, uint32_t c, const char *f, ...)", 3) == 2);

#define DEVSIM_CHECK_ROW(name, kind, args, settings, ids, ...)                                               \
    static_assert(logged(&::name) == (args), #name ": the prototype and the row disagree on the arguments"); \
    static_assert(((settings) | (ids)) >> (args) == 0, #name ": an ID argument past the last");
CORVEL_DEVICE_SERVICES(DEVSIM_CHECK_ROW)
#undef DEVSIM_CHECK_ROW

#define DEVSIM_KIND_NAME(kind, name) name,
constexpr const char *kLogKindNames[] = {DEVSIM_LOG_KINDS(DEVSIM_KIND_NAME)};
#undef DEVSIM_KIND_NAME
static_assert(std::size(kLogKindNames) == kLogKindCount);

const ServiceRow *row(Service s) {
    const auto i = static_cast<std::size_t>(s);
    return i < kServiceCount ? &kServices[i] : nullptr;
}

} // namespace

const char *serviceName(Service s) { return row(s) ? row(s)->name : "?"; }

std::optional<Service> serviceByName(const std::string &name) {
    for (std::size_t i = 0; i < kServiceCount; ++i)
        if (name == kServices[i].name) return static_cast<Service>(i);
    return std::nullopt;
}

LogKind serviceKind(Service s) { return row(s) ? row(s)->kind : LogKind::note; }
std::size_t serviceArgCount(Service s) { return row(s) ? row(s)->args : 0; }
unsigned settingsArguments(Service s) { return row(s) ? row(s)->settings : 0; }
unsigned idArguments(Service s) { return row(s) ? row(s)->settings | row(s)->ids : 0; }
unsigned pointerArguments(Service s) { return row(s) ? row(s)->pointers : 0; }

const char *logKindName(LogKind k) {
    auto i = static_cast<std::size_t>(k);
    return i < kLogKindCount ? kLogKindNames[i] : "?";
}

std::optional<LogKind> logKindByName(const std::string &name) {
    for (std::size_t i = 0; i < kLogKindCount; ++i)
        if (name == kLogKindNames[i]) return static_cast<LogKind>(i);
    return std::nullopt;
}

} // namespace devsim
