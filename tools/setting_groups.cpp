// setting_groups.cpp - the one description of every setting group: the
// members of its record and the library functions behind it.
#include "setting_groups.h"

#include "corvellib.h"
#include "usage_error.h"

namespace entmlst {
namespace {

#define M(member, kind) ENTMLST_MEMBER(Rec, member, kind)
#define A(member, n, kind) ENTMLST_ARRAY(Rec, member, n, kind)
#define S(member) ENTMLST_SECRET(Rec, member)

#define Rec ENTMLSTPOP3
constexpr Member kPop3[] = {M(receive, number), M(interval, number), M(auth, number), A(domain, 10, text)};
#undef Rec

#define Rec ENTMLSTPOP3USER
constexpr Member kPop3User[] = {
    M(enable, number), M(server, text),   M(user, text),    M(port, number),
    M(auth, number),   S(password),       M(mailbox, text), M(ssl, number),
    M(timeout, number), M(leave_on_server, number), M(apop, number),
};
#undef Rec

#define Rec ENTMLSTSMTP
constexpr Member kSmtp[] = {
    M(protocol, number), M(port, number),       M(server, text),        M(auth, number),
    M(ssl, number),      M(pop_before_smtp, number), M(user, text),     S(password),
    M(size_limit_on, number), M(size_limit, number), M(from, text),     M(signature, text),
    M(reply_to, text),   M(domain_filter, number), A(domain, 10, text),
};
#undef Rec

#define Rec ENTMLSTSMTPEVENT
constexpr Member kSmtpEvent[] = {M(address, text), M(name, text), A(event, 7, number), M(interval, number)};
#undef Rec

#define Rec ENTMLSTSMTPSCH
constexpr Member kSmtpSch[] = {
    M(address, text), M(name, text),     M(enable, number), M(week, number), M(day, number),
    M(hour, number),  M(period, number), M(minute, number), M(report, number),
};
#undef Rec

#define Rec ENTMLSTLASTSEND
constexpr Member kLastSend[] = {M(time, number)};
#undef Rec

#define Rec ENTMLSTMAINTE
constexpr Member kMainte[] = {
    M(subject, text), M(address, text), M(name, text),     M(week, number), M(day, number),
    M(hour, number),  M(period, number), M(minute, number), M(enable, number),
};
#undef Rec

#define Rec ENTMLSTCOUNTER
constexpr Member kCounter[] = {A(count, 16, number)};
#undef Rec

#define Rec ENTMLSTSUBJECT
constexpr Member kSubject[] = {M(subject, text), M(device_name, text), M(location, text),
                               M(contact, text), M(model, text),       M(serial, text)};
#undef Rec

#define Rec ENTMLSTHOSTBUFFER
constexpr Member kHostBuffer[] = {M(mode, number), M(size, number)};
#undef Rec

#undef M
#undef A
#undef S

// Adapters from the library's signatures to the uniform ones.
template <typename T, uint32_t (*F)(T *)>
uint32_t get1(uint32_t, void *r) { return F(static_cast<T *>(r)); }
template <typename T, uint32_t (*F)(uint32_t, T *)>
uint32_t getN(uint32_t n, void *r) { return F(n, static_cast<T *>(r)); }
template <typename T, uint32_t (*F)(uint32_t, const T *)>
uint32_t set1(uint32_t mask, uint32_t, const void *r) { return F(mask, static_cast<const T *>(r)); }
template <typename T, uint32_t (*F)(uint32_t, uint32_t, const T *)>
uint32_t setN(uint32_t mask, uint32_t n, const void *r) { return F(mask, n, static_cast<const T *>(r)); }

using LS = ENTMLSTLASTSEND;

constexpr Group kGroups[] = {
    {"pop3", "POP3 server", sizeof(ENTMLSTPOP3), false, kPop3,
     get1<ENTMLSTPOP3, entMLSTGetPop3>, set1<ENTMLSTPOP3, entMLSTSetPop3>, 0},
    {"pop3user", "POP3 user 1..3", sizeof(ENTMLSTPOP3USER), true, kPop3User,
     getN<ENTMLSTPOP3USER, entMLSTGetPop3User>, setN<ENTMLSTPOP3USER, entMLSTSetPop3User>, 0},
    {"smtp", "SMTP server", sizeof(ENTMLSTSMTP), false, kSmtp,
     get1<ENTMLSTSMTP, entMLSTGetSmtp>, set1<ENTMLSTSMTP, entMLSTSetSmtp>, 0},
    {"smtp-event", "event-report recipient 1..3", sizeof(ENTMLSTSMTPEVENT), true, kSmtpEvent,
     getN<ENTMLSTSMTPEVENT, entMLSTGetSmtpEvent>, setN<ENTMLSTSMTPEVENT, entMLSTSetSmtpEvent>, 0},
    {"smtp-schedule", "schedule-report recipient 1..3", sizeof(ENTMLSTSMTPSCH), true, kSmtpSch,
     getN<ENTMLSTSMTPSCH, entMLSTGetSmtpSch>, setN<ENTMLSTSMTPSCH, entMLSTSetSmtpSch>, 0},
    {"event-last-send", "last event report sent, recipient 1..3", sizeof(LS), true, kLastSend,
     getN<LS, entMLSTGetEvrLastSend>, setN<LS, entMLSTSetEvrLastSend>, ENTMLST_MASK_EVR_LASTSEND},
    {"schedule-last-send", "last schedule report sent, recipient 1..3", sizeof(LS), true, kLastSend,
     getN<LS, entMLSTGetScrLastSend>, setN<LS, entMLSTSetScrLastSend>, ENTMLST_MASK_SCR_LASTSEND},
    {"maintenance", "maintenance report", sizeof(ENTMLSTMAINTE), false, kMainte,
     get1<ENTMLSTMAINTE, entMLSTGetMainte>, set1<ENTMLSTMAINTE, entMLSTSetMainte>, 0},
    {"maintenance-last-send", "last maintenance report sent", sizeof(LS), false, kLastSend,
     get1<LS, entMLSTGetMainteLastSend>, set1<LS, entMLSTSetMainteLastSend>, ENTMLST_MASK_MAINTE_LASTSEND},
    {"counters", "counters (read only)", sizeof(ENTMLSTCOUNTER), false, kCounter,
     get1<ENTMLSTCOUNTER, entMLSTCounter>, nullptr, 0},
    {"subject", "subject values (read only)", sizeof(ENTMLSTSUBJECT), false, kSubject,
     get1<ENTMLSTSUBJECT, entMLSTGetSubject>, nullptr, 0},
    {"host-buffer", "host buffer (read only)", sizeof(ENTMLSTHOSTBUFFER), false, kHostBuffer,
     get1<ENTMLSTHOSTBUFFER, entMLSTGetHostBuffer>, nullptr, 0},
};

// A mask has 32 bits, one for each field of a group.
constexpr bool masksFit() {
    for (const Group &g : kGroups) {
        std::size_t rows = 0;
        for (const Member &m : g.members) {
            if (m.offset + m.size > g.size || m.size % m.count != 0)
                return false;
            rows += m.count;
        }
        if (rows > 32)
            return false;
    }
    return true;
}
static_assert(masksFit(), "group tables: members outside the record or too many rows for a mask");

} // namespace

std::span<const Group> groups() { return kGroups; }

const Group &findGroup(const std::string &name) {
    for (const Group &g : kGroups)
        if (name == g.name)
            return g;
    std::string known;
    for (const Group &g : kGroups)
        known += std::string(known.empty() ? "" : ", ") + g.name;
    throw UsageError("unknown group \"" + name + "\" (groups: " + known + ")");
}

uint32_t maskBit(const Group &g, const Field &f) { return g.fixed_mask ? g.fixed_mask : 1u << f.row; }

} // namespace entmlst
