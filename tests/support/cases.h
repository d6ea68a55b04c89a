// The exported functions as the table-driven suites call them: every setting
// group through one signature, and a job with a parent and children.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>
#include <type_traits>
#include <vector>

#include "corvellib.h"
#include "devsim.h"

namespace corvel::test {

using S = devsim::Service;

// One setting group as a caller sees it.
struct GroupCase {
    const char *name;
    std::size_t size;
    bool per_recipient;
    uint32_t (*get)(uint32_t n, void *rec);
    uint32_t (*set)(uint32_t mask, uint32_t n, const void *rec); // null: read only
    std::size_t rows;
    uint32_t row_mask;    // change-mask bits that select a row
    uint32_t notify_mask; // rows whose change is announced
    S notify;             // emwGENMonSendMessage: the group announces nothing
    std::vector<std::size_t> gaps; // record bytes that belong to no stored value
    const char *param_line;        // null record; null: refused silently
    const char *nomem_line = nullptr;     // prefix of the work-buffer text
    const char *store_set_line = nullptr; // prefix of a failed store write
    const char *notify_line = nullptr;    // prefix of a failed announcement
};

inline constexpr S kNone = S::emwGENMonSendMessage;
inline constexpr const char *kParam = "<Error>:param is Failed!\n";
inline constexpr const char *kParamLastSend = "<Error>:param(lastsend) is Failed!\n";
inline constexpr const char *kSetShort = "<Error>:meSTCSetStatus() is Failed!.id=0x";
inline constexpr const char *kSetLong = "<Error>:meSTCSetStatus() is Failed!!!. id=0x";
inline constexpr const char *kNomemLastSend = "<Error>[ENT_MLST]:ENTMLSTLASTSEND(work) enough memory.\n";

template <typename R> R *as(void *p) { return static_cast<R *>(p); }

// Each exported Get or Set behind the one signature of GroupCase; the record
// type comes from the function's own last parameter.
template <typename F> struct RecordOf;
template <typename... A> struct RecordOf<uint32_t (*)(A...)> {
    using type = std::remove_const_t<std::remove_pointer_t<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>>;
};
template <auto F> using Rec = typename RecordOf<decltype(F)>::type;
template <auto F> uint32_t get0(uint32_t, void *r) { return F(as<Rec<F>>(r)); }
template <auto F> uint32_t getN(uint32_t n, void *r) { return F(n, as<Rec<F>>(r)); }
template <auto F> uint32_t set0(uint32_t m, uint32_t, const void *r) { return F(m, static_cast<const Rec<F> *>(r)); }
template <auto F> uint32_t setN(uint32_t m, uint32_t n, const void *r) { return F(m, n, static_cast<const Rec<F> *>(r)); }

inline const GroupCase kGroups[] = {
    {"Pop3", sizeof(ENTMLSTPOP3), false,
     get0<entMLSTGetPop3>, set0<entMLSTSetPop3>,
     13, 0x1fff, 0x3, S::mscMLPRNChgSchedule,
     {offsetof(ENTMLSTPOP3, reserved_001), offsetof(ENTMLSTPOP3, reserved_145)}, kParam,
     "<Error>[ENT_MLST]:ENTMLSTPOP3(work) enough memory.\n", kSetShort,
     "entMLSTSetPop3():[Error] mscMLPRNChgSchedule(0) code=0x"},
    {"Pop3User", sizeof(ENTMLSTPOP3USER), true,
     getN<entMLSTGetPop3User>, setN<entMLSTSetPop3User>,
     11, 0x7ff, 0, kNone, {offsetof(ENTMLSTPOP3USER, reserved_081)}, "<Error>:param(pop3user) is Failed!\n",
     "<Error>[ENT_MLST]:ENTMLSTPOP3USER(work) enough memory.\n", kSetLong},
    {"Smtp", sizeof(ENTMLSTSMTP), false,
     get0<entMLSTGetSmtp>, set0<entMLSTSetSmtp>,
     24, 0xffffff, 0x1, S::mscMLRPTChgSMTPProtocol,
     {offsetof(ENTMLSTSMTP, reserved_001), 0x40b, 0x40c, 0x40d}, kParam,
     "<Error>[ENT_MLST]:ENTMLSTSMTP(work) enough memory.\n", kSetShort,
     "entMLSTSetSmtp():[Error] mscMLRPTChgSMTPProtocol() code=0x"},
    {"SmtpEvent", sizeof(ENTMLSTSMTPEVENT), true,
     getN<entMLSTGetSmtpEvent>, setN<entMLSTSetSmtpEvent>,
     10, 0x3ff, 0x200, S::mscMLRPTChgEventReportTime, {offsetof(ENTMLSTSMTPEVENT, reserved_187)},
     "<Error>:param(smtpevent) is Failed!\n", "<Error>[ENT_MLST]:ENTMLSTSMTPEVENT(work) enough memory.\n",
     kSetLong, "entMLSTSetSmtpEvent():[Error] mscMLRPTChgEventReportTime() code=0x"},
    {"SmtpSch", sizeof(ENTMLSTSMTPSCH), true,
     getN<entMLSTGetSmtpSch>, setN<entMLSTSetSmtpSch>,
     9, 0x1ff, 0x1f8, S::mscMLRPTChgScheduleReportTime, {}, "<Error>:param(smtpsch) is Failed!\n",
     "<Error>[ENT_MLST]:ENTMLSTSMTPSCH(work) enough memory.\n", kSetLong,
     "entMLSTSetSmtpSch():[Error] mscMLRPTChgScheduleReportTime() code=0x"},
    {"EvrLastSend", sizeof(ENTMLSTLASTSEND), true,
     getN<entMLSTGetEvrLastSend>, setN<entMLSTSetEvrLastSend>,
     1, ENTMLST_MASK_EVR_LASTSEND, 0, kNone, {}, kParamLastSend, kNomemLastSend, kSetLong},
    {"ScrLastSend", sizeof(ENTMLSTLASTSEND), true,
     getN<entMLSTGetScrLastSend>, setN<entMLSTSetScrLastSend>,
     1, ENTMLST_MASK_SCR_LASTSEND, 0, kNone, {}, kParamLastSend, kNomemLastSend, kSetLong},
    // The maintenance record's word in its out-of-memory text is the library's own.
    {"Mainte", sizeof(ENTMLSTMAINTE), false,
     get0<entMLSTGetMainte>, set0<entMLSTSetMainte>,
     9, 0x1ff, 0x1f8, S::mscMLRPTChgMaintenanceReportTime, {offsetof(ENTMLSTMAINTE, reserved_193)}, kParam,
     "<Error>[ENT_MLST]:", kSetShort, "entMLSTSetMainte():[Error] mscMLRPTChgMaintenanceReportTime() code=0x"},
    {"MainteLastSend", sizeof(ENTMLSTLASTSEND), false,
     get0<entMLSTGetMainteLastSend>, set0<entMLSTSetMainteLastSend>,
     1, ENTMLST_MASK_MAINTE_LASTSEND, 0, kNone, {}, kParamLastSend, kNomemLastSend, kSetLong},
    {"Counter", sizeof(ENTMLSTCOUNTER), false,
     get0<entMLSTCounter>, nullptr, 16, 0, 0, kNone, {}, kParam},
    {"Subject", sizeof(ENTMLSTSUBJECT), false,
     get0<entMLSTGetSubject>, nullptr, 6, 0, 0, kNone, {}, kParam},
    {"HostBuffer", sizeof(ENTMLSTHOSTBUFFER), false,
     get0<entMLSTGetHostBuffer>, nullptr, 2, 0, 0, kNone,
     {}, nullptr},
};

inline std::vector<uint32_t> recipientsOf(const GroupCase &g) {
    return g.per_recipient ? std::vector<uint32_t>{1, 2, 3} : std::vector<uint32_t>{0};
}

// Every stored setting gets random bytes, so that each value is told apart
// from its neighbours byte for byte.
inline void randomStore(std::mt19937 &rng) {
    devsim::State s = devsim::exportState();
    for (auto &[id, value] : s.settings)
        for (auto &b : value) b = static_cast<uint8_t>(rng());
    devsim::importState(s);
}

constexpr uint32_t kJob = 0x1a, kParent = 0xabcd1234, kImageLink = 0x4001;

// A job with a parent, the fax image link and children of every kind; fax
// child 0x501 has an empty name, so its fallback name is read too.
inline void jobWorld() {
    devsim::setParentLink(kJob, kParent);
    devsim::addChildLink(kJob, 0x1000, kImageLink);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x501);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x502);
    EXPECT_TRUE(devsim::putJobValue(0x502, 0x00716800, {'f', 'a', 'x'}));
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_MAIL, 0x601);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0100, 0x701);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0200, 0x801);
}

} // namespace corvel::test
