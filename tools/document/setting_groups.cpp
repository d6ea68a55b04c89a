// setting_groups.cpp - the setting groups as the tool offers them: the
// registry's groups, each with a summary and the members of its record.
#include "document/setting_groups.h"

#include "cli/usage_error.h"
#include "corvellib.h"
#include "functions.h"

namespace entmlst {
namespace {

namespace reg = corvel::registry;

// What the tool shows of one group. Every group the registry lists needs
// one, named k<Name>; the fields a Set writes carry the header's mask bits.
struct Shown {
    const char *summary;
    std::span<const Member> members;
};

#define M(member, kind, mask) ENTMLST_SET_FIELD(Rec, member, 1, kind, mask, false)
#define A(member, n, kind, mask) ENTMLST_SET_FIELD(Rec, member, n, kind, mask, false)
#define S(member, mask) ENTMLST_SET_FIELD(Rec, member, 1, text, mask, true)
#define R(member, kind) ENTMLST_MEMBER(Rec, member, kind)
#define RA(member, n, kind) ENTMLST_ARRAY(Rec, member, n, kind)

#define Rec ENTMLSTPOP3
constexpr Member kPop3Members[] = {
    M(receive, number, ENTMLST_MASK_POP3_RECEIVE),
    M(interval, number, ENTMLST_MASK_POP3_INTERVAL),
    M(auth, number, ENTMLST_MASK_POP3_AUTH),
    A(domain, 10, text, ENTMLST_MASK_POP3_DOMAIN(0)),
};
#undef Rec

#define Rec ENTMLSTPOP3USER
constexpr Member kPop3UserMembers[] = {
    M(enable, number, ENTMLST_MASK_POP3USER_ENABLE),
    M(server, text, ENTMLST_MASK_POP3USER_SERVER),
    M(user, text, ENTMLST_MASK_POP3USER_USER),
    M(port, number, ENTMLST_MASK_POP3USER_PORT),
    M(auth, number, ENTMLST_MASK_POP3USER_AUTH),
    S(password, ENTMLST_MASK_POP3USER_PASSWORD),
    M(mailbox, text, ENTMLST_MASK_POP3USER_MAILBOX),
    M(ssl, number, ENTMLST_MASK_POP3USER_SSL),
    M(timeout, number, ENTMLST_MASK_POP3USER_TIMEOUT),
    M(leave_on_server, number, ENTMLST_MASK_POP3USER_LEAVE_ON_SERVER),
    M(apop, number, ENTMLST_MASK_POP3USER_APOP),
};
#undef Rec

#define Rec ENTMLSTSMTP
constexpr Member kSmtpMembers[] = {
    M(protocol, number, ENTMLST_MASK_SMTP_PROTOCOL),
    M(port, number, ENTMLST_MASK_SMTP_PORT),
    M(server, text, ENTMLST_MASK_SMTP_SERVER),
    M(auth, number, ENTMLST_MASK_SMTP_AUTH),
    M(ssl, number, ENTMLST_MASK_SMTP_SSL),
    M(pop_before_smtp, number, ENTMLST_MASK_SMTP_POP_BEFORE_SMTP),
    M(user, text, ENTMLST_MASK_SMTP_USER),
    S(password, ENTMLST_MASK_SMTP_PASSWORD),
    M(size_limit_on, number, ENTMLST_MASK_SMTP_SIZE_LIMIT_ON),
    M(size_limit, number, ENTMLST_MASK_SMTP_SIZE_LIMIT),
    M(from, text, ENTMLST_MASK_SMTP_FROM),
    M(signature, text, ENTMLST_MASK_SMTP_SIGNATURE),
    M(reply_to, text, ENTMLST_MASK_SMTP_REPLY_TO),
    M(domain_filter, number, ENTMLST_MASK_SMTP_DOMAIN_FILTER),
    A(domain, 10, text, ENTMLST_MASK_SMTP_DOMAIN(0)),
};
#undef Rec

#define Rec ENTMLSTSMTPEVENT
constexpr Member kSmtpEventMembers[] = {
    M(address, text, ENTMLST_MASK_SMTPEVENT_ADDRESS),
    M(name, text, ENTMLST_MASK_SMTPEVENT_NAME),
    A(event, 7, number, ENTMLST_MASK_SMTPEVENT_EVENT(0)),
    M(interval, number, ENTMLST_MASK_SMTPEVENT_INTERVAL),
};
#undef Rec

#define Rec ENTMLSTSMTPSCH
constexpr Member kSmtpSchMembers[] = {
    M(address, text, ENTMLST_MASK_SMTPSCH_ADDRESS), M(name, text, ENTMLST_MASK_SMTPSCH_NAME),
    M(enable, number, ENTMLST_MASK_SMTPSCH_ENABLE), M(week, number, ENTMLST_MASK_SMTPSCH_WEEK),
    M(day, number, ENTMLST_MASK_SMTPSCH_DAY),       M(hour, number, ENTMLST_MASK_SMTPSCH_HOUR),
    M(period, number, ENTMLST_MASK_SMTPSCH_PERIOD), M(minute, number, ENTMLST_MASK_SMTPSCH_MINUTE),
    M(report, number, ENTMLST_MASK_SMTPSCH_REPORT),
};
#undef Rec

#define Rec ENTMLSTLASTSEND
constexpr Member kEvrLastSendMembers[] = {M(time, number, ENTMLST_MASK_EVR_LASTSEND)};
constexpr Member kScrLastSendMembers[] = {M(time, number, ENTMLST_MASK_SCR_LASTSEND)};
constexpr Member kMainteLastSendMembers[] = {M(time, number, ENTMLST_MASK_MAINTE_LASTSEND)};
#undef Rec

#define Rec ENTMLSTMAINTE
constexpr Member kMainteMembers[] = {
    M(subject, text, ENTMLST_MASK_MAINTE_SUBJECT), M(address, text, ENTMLST_MASK_MAINTE_ADDRESS),
    M(name, text, ENTMLST_MASK_MAINTE_NAME),       M(week, number, ENTMLST_MASK_MAINTE_WEEK),
    M(day, number, ENTMLST_MASK_MAINTE_DAY),       M(hour, number, ENTMLST_MASK_MAINTE_HOUR),
    M(period, number, ENTMLST_MASK_MAINTE_PERIOD), M(minute, number, ENTMLST_MASK_MAINTE_MINUTE),
    M(enable, number, ENTMLST_MASK_MAINTE_ENABLE),
};
#undef Rec

#define Rec ENTMLSTCOUNTER
constexpr Member kCounterMembers[] = {RA(count, 16, number)};
#undef Rec

#define Rec ENTMLSTSUBJECT
constexpr Member kSubjectMembers[] = {R(subject, text), R(device_name, text), R(location, text),
                                      R(contact, text), R(model, text),       R(serial, text)};
#undef Rec

#define Rec ENTMLSTHOSTBUFFER
constexpr Member kHostBufferMembers[] = {R(mode, number), R(size, number)};
#undef Rec

#undef M
#undef A
#undef S
#undef R
#undef RA

constexpr Shown kPop3{"POP3 server", kPop3Members};
constexpr Shown kPop3User{"POP3 user 1..3", kPop3UserMembers};
constexpr Shown kSmtp{"SMTP server", kSmtpMembers};
constexpr Shown kSmtpEvent{"event-report recipient 1..3", kSmtpEventMembers};
constexpr Shown kSmtpSch{"schedule-report recipient 1..3", kSmtpSchMembers};
constexpr Shown kEvrLastSend{"last event report sent, recipient 1..3", kEvrLastSendMembers};
constexpr Shown kScrLastSend{"last schedule report sent, recipient 1..3", kScrLastSendMembers};
constexpr Shown kMainte{"maintenance report", kMainteMembers};
constexpr Shown kMainteLastSend{"last maintenance report sent", kMainteLastSendMembers};
constexpr Shown kCounter{"counters (read only)", kCounterMembers};
constexpr Shown kSubject{"subject values (read only)", kSubjectMembers};
constexpr Shown kHostBuffer{"host buffer (read only)", kHostBufferMembers};

// Members inside the record, and no more fields than a mask has bits.
constexpr bool fitsRecord(const Shown &s, std::size_t size) {
    std::size_t rows = 0;
    for (const Member &m : s.members) {
        if (m.offset + m.size > size || m.count == 0 || m.size % m.count != 0) return false;
        rows += m.count;
    }
    return rows <= 32;
}

// A writable group's fields each have one mask bit of their own (an array
// element i the first element's bit << i); a read-only group's have none.
constexpr bool masksValid(const Shown &s, bool writable) {
    uint32_t seen = 0;
    for (const Member &m : s.members) {
        if (!writable) {
            if (m.mask != 0) return false;
            continue;
        }
        if (m.mask == 0 || (m.mask & (m.mask - 1)) != 0) return false;
        for (std::size_t i = 0; i < m.count; ++i) {
            uint32_t bit = i < 32 ? m.mask << i : 0;
            if (bit == 0 || (seen & bit) != 0) return false;
            seen |= bit;
        }
    }
    return true;
}

#define CHECK(Name, tool, Rec, rows, inst, access, Get, Set)                                                 \
    static_assert(fitsRecord(k##Name, sizeof(Rec)),                                                          \
                  #Name ": members outside the record or too many fields");                                  \
    static_assert(masksValid(k##Name, reg::Access::access == reg::Access::read_write),                       \
                  #Name ": fields without a mask bit of their own");
ENTMLST_SETTING_GROUPS(CHECK)
#undef CHECK

#define GROUP(Name, tool, Rec, rows, inst, access, Get, Set)                                                 \
    Group{tool,                                                                                              \
          k##Name.summary,                                                                                   \
          sizeof(Rec),                                                                                       \
          reg::Instances::inst == reg::Instances::per_recipient,                                             \
          k##Name.members,                                                                                   \
          reg::uniformGet<Get, Rec, reg::Instances::inst>,                                                   \
          reg::uniformSet<Set, Rec, reg::Instances::inst>()},
constexpr Group kGroups[] = {ENTMLST_SETTING_GROUPS(GROUP)};
#undef GROUP

} // namespace

std::span<const Group> groups() { return kGroups; }

const Group &findGroup(const std::string &name) {
    for (const Group &g : kGroups)
        if (name == g.name) return g;
    std::string known;
    for (const Group &g : kGroups) known += std::string(known.empty() ? "" : ", ") + g.name;
    throw UsageError("unknown group \"" + name + "\" (groups: " + known + ")");
}

uint32_t maskBit(const Group &, const Field &f) { return f.mask; }

} // namespace entmlst
