// fields.h - each setting record's fields, listed once.
//
// The library builds its rows from these lists, the entmlst tool its field
// tables and the simulator the names of settings IDs, so a member, its
// change-mask bit and its settings ID cannot drift apart between them.
// The tests and the simulator's catalogue never expand them: they keep their
// own expectations, which is what catches a wrong ID here.
//
// ENTMLST_FIELDS_<Name>(X, a), one per group of functions.h, in the rows'
// order (a row's position is its change-mask bit), expands
//   X(a, member, place, mask bit, settings IDs, notify, kind, secret)
//   place         whole, or at(i) for element i of an array member
//   settings IDs  (ID) for a record that exists once, (ID1, ID2, ID3) for
//                 recipients 1..3; one ID in two lists is one stored setting
//   notify        1: writing the field makes the group's notification due
//   kind          number (big-endian, 1, 2 or 4 bytes) or text
//   secret        secret (a password, never shown unasked) or plain
// A read-only record's fields have mask bit 0 and notify 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// The element a place names, -1 for the whole member.
#define ENTMLST_PLACE_whole -1
#define ENTMLST_PLACE_at(i) i
// The settings IDs without their parentheses.
#define ENTMLST_IDS(...) __VA_ARGS__

namespace corvel::registry {

// Offset and size of a place in a record: the whole member, or element i of
// an array member.
template <typename Member>
constexpr std::size_t placeSize(int element) {
    return element < 0 ? sizeof(Member) : sizeof(std::remove_extent_t<Member>);
}
template <typename Member>
constexpr std::size_t placeOffset(std::size_t member_offset, int element) {
    return element < 0 ? member_offset : member_offset + element * placeSize<Member>(element);
}

} // namespace corvel::registry

#define ENTMLST_PLACE_OFFSET(Rec, member, place)                                                             \
    ::corvel::registry::placeOffset<decltype(Rec::member)>(offsetof(Rec, member), ENTMLST_PLACE_##place)
#define ENTMLST_PLACE_SIZE(Rec, member, place)                                                               \
    ::corvel::registry::placeSize<decltype(Rec::member)>(ENTMLST_PLACE_##place)

#define ENTMLST_FIELDS_Pop3(X, a)                                                                            \
    X(a, receive, whole, ENTMLST_MASK_POP3_RECEIVE, (0x85005b3c), 1, number, plain)                          \
    X(a, interval, whole, ENTMLST_MASK_POP3_INTERVAL, (0x850063d4), 1, number, plain)                        \
    X(a, auth, whole, ENTMLST_MASK_POP3_AUTH, (0x85005894), 0, number, plain)                                \
    X(a, domain, at(0), ENTMLST_MASK_POP3_DOMAIN(0), (0x85005164), 0, text, plain)                           \
    X(a, domain, at(1), ENTMLST_MASK_POP3_DOMAIN(1), (0x8500518c), 0, text, plain)                           \
    X(a, domain, at(2), ENTMLST_MASK_POP3_DOMAIN(2), (0x850051b4), 0, text, plain)                           \
    X(a, domain, at(3), ENTMLST_MASK_POP3_DOMAIN(3), (0x850051dc), 0, text, plain)                           \
    X(a, domain, at(4), ENTMLST_MASK_POP3_DOMAIN(4), (0x85005204), 0, text, plain)                           \
    X(a, domain, at(5), ENTMLST_MASK_POP3_DOMAIN(5), (0x8500522c), 0, text, plain)                           \
    X(a, domain, at(6), ENTMLST_MASK_POP3_DOMAIN(6), (0x85005254), 0, text, plain)                           \
    X(a, domain, at(7), ENTMLST_MASK_POP3_DOMAIN(7), (0x8500527c), 0, text, plain)                           \
    X(a, domain, at(8), ENTMLST_MASK_POP3_DOMAIN(8), (0x850052a4), 0, text, plain)                           \
    X(a, domain, at(9), ENTMLST_MASK_POP3_DOMAIN(9), (0x850052cc), 0, text, plain)

#define ENTMLST_FIELDS_Pop3User(X, a)                                                                        \
    X(a, enable, whole, ENTMLST_MASK_POP3USER_ENABLE, (0x85005b64, 0x85005b8c, 0x85005bb4), 0, number,       \
      plain)                                                                                                 \
    X(a, server, whole, ENTMLST_MASK_POP3USER_SERVER, (0x850054ac, 0x850054d4, 0x850054fc), 0, text, plain)  \
    X(a, user, whole, ENTMLST_MASK_POP3USER_USER, (0x8500559c, 0x850055c4, 0x850055ec), 0, text, plain)      \
    X(a, port, whole, ENTMLST_MASK_POP3USER_PORT, (0x850063fc, 0x85006424, 0x8500644c), 0, number, plain)    \
    X(a, auth, whole, ENTMLST_MASK_POP3USER_AUTH, (0x850058bc, 0x850058e4, 0x8500590c), 0, number, plain)    \
    X(a, password, whole, ENTMLST_MASK_POP3USER_PASSWORD, (0x85005614, 0x8500563c, 0x85005664), 0, text,     \
      secret)                                                                                                \
    X(a, mailbox, whole, ENTMLST_MASK_POP3USER_MAILBOX, (0x85005524, 0x8500554c, 0x85005574), 0, text,       \
      plain)                                                                                                 \
    X(a, ssl, whole, ENTMLST_MASK_POP3USER_SSL, (0x8500626c, 0x85006294, 0x850062bc), 0, number, plain)      \
    X(a, timeout, whole, ENTMLST_MASK_POP3USER_TIMEOUT, (0x8500635c, 0x85006384, 0x850063ac), 0, number,     \
      plain)                                                                                                 \
    X(a, leave_on_server, whole, ENTMLST_MASK_POP3USER_LEAVE_ON_SERVER,                                      \
      (0x850059fc, 0x85005a24, 0x85005a4c), 0, number, plain)                                                \
    X(a, apop, whole, ENTMLST_MASK_POP3USER_APOP, (0x85005984, 0x850059ac, 0x850059d4), 0, number, plain)

#define ENTMLST_FIELDS_Smtp(X, a)                                                                            \
    X(a, protocol, whole, ENTMLST_MASK_SMTP_PROTOCOL, (0x85005fec), 1, number, plain)                        \
    X(a, port, whole, ENTMLST_MASK_SMTP_PORT, (0x85006334), 0, number, plain)                                \
    X(a, server, whole, ENTMLST_MASK_SMTP_SERVER, (0x85005484), 0, text, plain)                              \
    X(a, auth, whole, ENTMLST_MASK_SMTP_AUTH, (0x85005934), 0, number, plain)                                \
    X(a, ssl, whole, ENTMLST_MASK_SMTP_SSL, (0x85005d44), 0, number, plain)                                  \
    X(a, pop_before_smtp, whole, ENTMLST_MASK_SMTP_POP_BEFORE_SMTP, (0x85005f4c), 0, number, plain)          \
    X(a, user, whole, ENTMLST_MASK_SMTP_USER, (0x8500568c), 0, text, plain)                                  \
    X(a, password, whole, ENTMLST_MASK_SMTP_PASSWORD, (0x850056b4), 0, text, secret)                         \
    X(a, size_limit_on, whole, ENTMLST_MASK_SMTP_SIZE_LIMIT_ON, (0x850062e4), 0, number, plain)              \
    X(a, size_limit, whole, ENTMLST_MASK_SMTP_SIZE_LIMIT, (0x85006564), 0, number, plain)                    \
    X(a, from, whole, ENTMLST_MASK_SMTP_FROM, (0x850056dc), 0, text, plain)                                  \
    X(a, signature, whole, ENTMLST_MASK_SMTP_SIGNATURE, (0x850057f4), 0, text, plain)                        \
    X(a, reply_to, whole, ENTMLST_MASK_SMTP_REPLY_TO, (0x850057a4), 0, text, plain)                          \
    X(a, domain_filter, whole, ENTMLST_MASK_SMTP_DOMAIN_FILTER, (0x8500595c), 0, number, plain)              \
    X(a, domain, at(0), ENTMLST_MASK_SMTP_DOMAIN(0), (0x850052f4), 0, text, plain)                           \
    X(a, domain, at(1), ENTMLST_MASK_SMTP_DOMAIN(1), (0x8500531c), 0, text, plain)                           \
    X(a, domain, at(2), ENTMLST_MASK_SMTP_DOMAIN(2), (0x85005344), 0, text, plain)                           \
    X(a, domain, at(3), ENTMLST_MASK_SMTP_DOMAIN(3), (0x8500536c), 0, text, plain)                           \
    X(a, domain, at(4), ENTMLST_MASK_SMTP_DOMAIN(4), (0x85005394), 0, text, plain)                           \
    X(a, domain, at(5), ENTMLST_MASK_SMTP_DOMAIN(5), (0x850053bc), 0, text, plain)                           \
    X(a, domain, at(6), ENTMLST_MASK_SMTP_DOMAIN(6), (0x850053e4), 0, text, plain)                           \
    X(a, domain, at(7), ENTMLST_MASK_SMTP_DOMAIN(7), (0x8500540c), 0, text, plain)                           \
    X(a, domain, at(8), ENTMLST_MASK_SMTP_DOMAIN(8), (0x85005434), 0, text, plain)                           \
    X(a, domain, at(9), ENTMLST_MASK_SMTP_DOMAIN(9), (0x8500545c), 0, text, plain)

#define ENTMLST_FIELDS_SmtpEvent(X, a)                                                                       \
    X(a, address, whole, ENTMLST_MASK_SMTPEVENT_ADDRESS, (0x8560572c, 0x85605754, 0x8560577c), 0, text,      \
      plain)                                                                                                 \
    X(a, name, whole, ENTMLST_MASK_SMTPEVENT_NAME, (0x8500581c, 0x85005844, 0x8500586c), 0, text, plain)     \
    X(a, event, at(0), ENTMLST_MASK_SMTPEVENT_EVENT(0), (0x85005ed4, 0x85005efc, 0x85005f24), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(1), ENTMLST_MASK_SMTPEVENT_EVENT(1), (0x85005c54, 0x85005c7c, 0x85005ca4), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(2), ENTMLST_MASK_SMTPEVENT_EVENT(2), (0x85005f74, 0x85005f9c, 0x85005fc4), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(3), ENTMLST_MASK_SMTPEVENT_EVENT(3), (0x85005e5c, 0x85005e84, 0x85005eac), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(4), ENTMLST_MASK_SMTPEVENT_EVENT(4), (0x85005bdc, 0x85005c04, 0x85005c2c), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(5), ENTMLST_MASK_SMTPEVENT_EVENT(5), (0x85005de4, 0x85005e0c, 0x85005e34), 0, number,     \
      plain)                                                                                                 \
    X(a, event, at(6), ENTMLST_MASK_SMTPEVENT_EVENT(6), (0x85005ccc, 0x85005cf4, 0x85005d1c), 0, number,     \
      plain)                                                                                                 \
    X(a, interval, whole, ENTMLST_MASK_SMTPEVENT_INTERVAL, (0x85006474, 0x8500649c, 0x850064c4), 1, number,  \
      plain)

#define ENTMLST_FIELDS_SmtpSch(X, a)                                                                         \
    X(a, address, whole, ENTMLST_MASK_SMTPSCH_ADDRESS, (0x8560572c, 0x85605754, 0x8560577c), 0, text, plain) \
    X(a, name, whole, ENTMLST_MASK_SMTPSCH_NAME, (0x8500581c, 0x85005844, 0x8500586c), 0, text, plain)       \
    X(a, enable, whole, ENTMLST_MASK_SMTPSCH_ENABLE, (0x85005d6c, 0x85005d94, 0x85005dbc), 0, number, plain) \
    X(a, week, whole, ENTMLST_MASK_SMTPSCH_WEEK, (0x85006104, 0x8500612c, 0x85006154), 1, number, plain)     \
    X(a, day, whole, ENTMLST_MASK_SMTPSCH_DAY, (0x8500617c, 0x850061a4, 0x850061cc), 1, number, plain)       \
    X(a, hour, whole, ENTMLST_MASK_SMTPSCH_HOUR, (0x8500608c, 0x850060b4, 0x850060dc), 1, number, plain)     \
    X(a, period, whole, ENTMLST_MASK_SMTPSCH_PERIOD, (0x850064ec, 0x85006514, 0x8500653c), 1, number, plain) \
    X(a, minute, whole, ENTMLST_MASK_SMTPSCH_MINUTE, (0x850061f4, 0x8500621c, 0x85006244), 1, number, plain) \
    X(a, report, whole, ENTMLST_MASK_SMTPSCH_REPORT, (0x85006014, 0x8500603c, 0x85006064), 1, number, plain)

#define ENTMLST_FIELDS_EvrLastSend(X, a)                                                                     \
    X(a, time, whole, ENTMLST_MASK_EVR_LASTSEND, (0x850065b4, 0x850065dc, 0x85006604), 0, number, plain)

#define ENTMLST_FIELDS_ScrLastSend(X, a)                                                                     \
    X(a, time, whole, ENTMLST_MASK_SCR_LASTSEND, (0x8500662c, 0x85006654, 0x8500667c), 0, number, plain)

#define ENTMLST_FIELDS_Mainte(X, a)                                                                          \
    X(a, subject, whole, ENTMLST_MASK_MAINTE_SUBJECT, (0x8500513c), 0, text, plain)                          \
    X(a, address, whole, ENTMLST_MASK_MAINTE_ADDRESS, (0x85605704), 0, text, plain)                          \
    X(a, name, whole, ENTMLST_MASK_MAINTE_NAME, (0x850057cc), 0, text, plain)                                \
    X(a, week, whole, ENTMLST_MASK_MAINTE_WEEK, (0x85005a74), 1, number, plain)                              \
    X(a, day, whole, ENTMLST_MASK_MAINTE_DAY, (0x85005aec), 1, number, plain)                                \
    X(a, hour, whole, ENTMLST_MASK_MAINTE_HOUR, (0x85005ac4), 1, number, plain)                              \
    X(a, period, whole, ENTMLST_MASK_MAINTE_PERIOD, (0x8500630c), 1, number, plain)                          \
    X(a, minute, whole, ENTMLST_MASK_MAINTE_MINUTE, (0x85005b14), 1, number, plain)                          \
    X(a, enable, whole, ENTMLST_MASK_MAINTE_ENABLE, (0x85005a9c), 1, number, plain)

#define ENTMLST_FIELDS_MainteLastSend(X, a)                                                                  \
    X(a, time, whole, ENTMLST_MASK_MAINTE_LASTSEND, (0x8500658c), 0, number, plain)

#define ENTMLST_FIELDS_Counter(X, a)                                                                         \
    X(a, count, at(0), 0, (0x94009470), 0, number, plain)                                                    \
    X(a, count, at(1), 0, (0x85004fb8), 0, number, plain)                                                    \
    X(a, count, at(2), 0, (0x85005030), 0, number, plain)                                                    \
    X(a, count, at(3), 0, (0x85005008), 0, number, plain)                                                    \
    X(a, count, at(4), 0, (0x850050a8), 0, number, plain)                                                    \
    X(a, count, at(5), 0, (0x85004fe0), 0, number, plain)                                                    \
    X(a, count, at(6), 0, (0x940092b8), 0, number, plain)                                                    \
    X(a, count, at(7), 0, (0x94009308), 0, number, plain)                                                    \
    X(a, count, at(8), 0, (0x94009380), 0, number, plain)                                                    \
    X(a, count, at(9), 0, (0x94009330), 0, number, plain)                                                    \
    X(a, count, at(10), 0, (0x94009358), 0, number, plain)                                                   \
    X(a, count, at(11), 0, (0x940093a8), 0, number, plain)                                                   \
    X(a, count, at(12), 0, (0x940093d0), 0, number, plain)                                                   \
    X(a, count, at(13), 0, (0x940093f8), 0, number, plain)                                                   \
    X(a, count, at(14), 0, (0x94009448), 0, number, plain)                                                   \
    X(a, count, at(15), 0, (0x94009420), 0, number, plain)

#define ENTMLST_FIELDS_Subject(X, a)                                                                         \
    X(a, subject, whole, 0, (0x8500513c), 0, text, plain)                                                    \
    X(a, device_name, whole, 0, (0x850008c8), 0, text, plain)                                                \
    X(a, location, whole, 0, (0x840071cc), 0, text, plain)                                                   \
    X(a, contact, whole, 0, (0x840073ac), 0, text, plain)                                                    \
    X(a, model, whole, 0, (0x85000288), 0, text, plain)                                                      \
    X(a, serial, whole, 0, (0x85004a90), 0, text, plain)

#define ENTMLST_FIELDS_HostBuffer(X, a)                                                                      \
    X(a, mode, whole, 0, (0x85002308), 0, number, plain)                                                     \
    X(a, size, whole, 0, (0x85002330), 0, number, plain)
