// services.cpp - the device services, with the C names and signatures the
// library imports.
//
// Every service takes the device lock and one transaction of the device's
// store for its whole call, so the log is in the order the calls took
// effect, in this process and across processes. Order of checks in each
// call: the device's rules (a break is a violation), then an armed fault,
// then what the device itself would refuse, then the work. Nothing here may
// throw into the caller: an exception (out of memory in the simulator
// itself) becomes kNoMemory.
#include "device/device.h"
#include "device_services.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

namespace devsim {
namespace {

uint64_t addr(const void *p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// One service call in progress: the device, its store, the fault that fired
// on the call, and what the call log records about it.
struct Ctx {
    Device &d;
    DeviceState &st;
    Armed fault;
    std::string text;
    Bytes data; // what the work moved, for the log
    bool done = false;
    // Work done: the answer is the fault's, if one fired with write_first.
    uint32_t did() {
        done = true;
        return fault.answer();
    }
};

// The services that change what the device stores; every other call only
// reads it, or changes only this process's own state.
bool changesStore(Service s) { return s == Service::meSTCSetStatus || s == Service::meSVCSetCurrent; }

// Runs body under the device lock with the fault armed for this call, and
// logs the call with its result. A call that changes what the device
// stores is one write transaction, waiting for the lock up to the busy
// timeout; when the storage fails it answers kDeviceBusy or kDeviceFile
// and does nothing else. Any other call never waits for another process:
// it is logged in the same transaction when the lock is free, else it
// reads in a read transaction and its entry waits for a later write. A
// log that cannot be written never changes such a call's answer.
template <typename Body>
uint32_t serve(Service s, std::initializer_list<uint64_t> args, Body body) noexcept {
    assert(args.size() == serviceArgCount(s));
    try {
        Device &d = device();
        std::lock_guard lock(d.mu);
        uint32_t result = 0;
        std::optional<LogEntry> made;
        auto run = [&](DeviceState &st, bool device_faults) {
            Ctx c{d, st, d.arm(st, s, args, device_faults), {}, {}, false};
            result = body(c);
            LogEntry e = d.entry(serviceKind(s), s);
            e.args.assign(args);
            e.result = result;
            e.done = c.done;
            e.text = std::move(c.text);
            e.data = std::move(c.data);
            made = std::move(e);
        };
        auto logged = [&](DeviceState &st) {
            run(st, true);
            d.logPending(st);
            st.append(*made);
        };
        try {
            if (d.inspecting()) {
                d.transact(
                    s, [&](DeviceState &st) { run(st, false); }, Device::Access::read);
                d.record(std::move(*made));
                return result;
            }
            if (changesStore(s)) {
                d.transact(s, logged);
                return result;
            }
            try {
                if (d.transact(s, logged, Device::Access::now)) return result;
            } catch (const DeviceError &) {
                if (made) { // only the log failed: the answer stands
                    d.record(std::move(*made));
                    return result;
                }
            }
            // Locked by another process, or not writable: read beside it.
            bool armed = false;
            d.transact(
                s,
                [&](DeviceState &st) {
                    for (const StoredFault &f : st.faults(s)) armed = armed || !spent(f.info);
                    if (!armed) run(st, false);
                },
                Device::Access::read);
            if (!armed) {
                d.record(std::move(*made));
                return result;
            }
            // A fault armed for this service is counted in a write.
            d.transact(s, logged);
            return result;
        } catch (const DeviceError &e) {
            return e.code;
        }
    } catch (...) {
        return kNoMemory;
    }
}

std::string where(Service s) { return std::string(serviceName(s)) + ": "; }

// A setting's bytes as the log keeps them: a password never in clear.
Bytes logged(uint32_t settings_id, Bytes value) {
    if (!secretSetting(settings_id)) return value;
    const std::string_view masked = kMaskedBytes;
    return Bytes(masked.begin(), masked.end());
}

// A link call's answer as the log keeps it, the same on every host.
Bytes bigEndian(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

// Checks a fixed argument; a mismatch is a broken rule.
bool expect(Device &d, Service s, const char *what, uint32_t got, uint32_t want) {
    if (got == want) return true;
    d.violate(kBadArgument, where(s) + what + " " + hex(got) + ", the device expects " + hex(want));
    return false;
}

bool notNull(Device &d, Service s, const void *p, const char *what) {
    if (p != nullptr) return true;
    d.violate(kBadArgument, where(s) + "null " + what);
    return false;
}

// Reads a job value into dst (shared by meSVCGetCurrent and mectSVCGetCurrent):
// exactly the value's width, or for a value whose width is its own, exactly
// its bytes.
uint32_t readJobValue(Ctx &c, Service s, uint32_t job, uint32_t vid, void *dst) {
    if (!notNull(c.d, s, dst, "destination")) return c.fault.refuse(kBadArgument);
    if (c.fault.skip()) return c.fault.code;
    if (!c.st.jobExists(job)) return c.fault.refuse(kUnknownJob);
    auto width = valueWidth(vid);
    if (!width) return c.fault.refuse(kUnknownValue);
    auto value = c.st.jobValue(job, vid);
    if (value) {
        if (!value->empty()) std::memcpy(dst, value->data(), value->size()); // an empty name writes nothing
        c.data = std::move(*value);
    } else if (!widthPerValue(vid)) {
        std::memset(dst, 0, *width);
        c.data.assign(*width, 0);
    }
    return c.did();
}

// The checks a call about a job's children makes before its work: the
// answer when one refuses it, none when the call goes on.
std::optional<uint32_t> linkRefused(Ctx &c, Service s, uint32_t selector, uint32_t job, const void *out,
                                    const char *what) {
    if (!expect(c.d, s, "selector", selector, kLinkSelector) || !notNull(c.d, s, out, what))
        return c.fault.refuse(kBadArgument);
    if (c.fault.skip()) return c.fault.code;
    if (!c.st.jobExists(job)) return c.fault.refuse(kUnknownJob);
    return std::nullopt;
}

uint32_t getChildLink(Service s, uint32_t selector, uint32_t job, uint32_t kind, int64_t link_index,
                      uint32_t *link_id) {
    return serve(s, {selector, job, kind, static_cast<uint32_t>(link_index), addr(link_id)},
                 [&](Ctx &c) -> uint32_t {
                     if (auto refused = linkRefused(c, s, selector, job, link_id, "link ID pointer"))
                         return *refused;
                     auto links = c.st.children(job, static_cast<int32_t>(kind));
                     if (link_index < 0 || static_cast<uint64_t>(link_index) >= links.size())
                         return c.fault.refuse(kUnknownLink);
                     *link_id = links[static_cast<std::size_t>(link_index)];
                     c.data = bigEndian(*link_id);
                     return c.did();
                 });
}

// An ID-service setting: the kind checked, then the argument (which must be
// 0 when what names it, anything otherwise), then apply records it.
uint32_t setUpId(Service s, uint32_t kind, uint32_t arg, const char *what,
                 void (*apply)(Device &, uint32_t)) {
    return serve(s, {kind, arg}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "kind", kind, kIdKind) || (what != nullptr && !expect(c.d, s, what, arg, 0)))
            return c.fault.refuse(kBadArgument);
        if (c.fault.skip()) return c.fault.code;
        apply(c.d, arg);
        return c.did();
    });
}

enum class Expect { anything, zeros, byte, recipient };

// A notification: logged as done unless a fault skips it.
uint32_t notify(Service s, std::initializer_list<uint64_t> args, Expect expect) {
    return serve(s, args, [&](Ctx &c) -> uint32_t {
        std::string shown;
        bool ok = true;
        for (uint64_t a : args) {
            // Appended piece by piece: "," + to_string() trips GCC 12's -Wrestrict.
            if (!shown.empty()) shown += ',';
            shown += std::to_string(a);
            ok = ok &&
                 (expect == Expect::anything || (expect == Expect::zeros && a == 0) ||
                  (expect == Expect::byte && a <= 0xff) || (expect == Expect::recipient && a >= 1 && a <= 3));
        }
        if (!ok) {
            const char *want = expect == Expect::zeros  ? "0"
                               : expect == Expect::byte ? "a byte (0..255)"
                                                        : "a recipient 1, 2 or 3";
            return c.fault.refuse(c.d.violate(kBadArgument, where(s) + "argument(s) " + shown +
                                                                ", the device expects " + want));
        }
        if (c.fault.skip()) return c.fault.code;
        return c.did();
    });
}

} // namespace

} // namespace devsim

using namespace devsim;

#pragma GCC visibility push(default)

extern "C" {

// ---- settings store ------------------------------------------------------------

uint32_t meSTCGetStatus(uint32_t area, uint32_t settings_id, void *dst) {
    constexpr Service s = Service::meSTCGetStatus;
    return serve(s, {area, settings_id, addr(dst)}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "area", area, kStatusArea) || !notNull(c.d, s, dst, "destination"))
            return c.fault.refuse(kBadArgument);
        if (!settingSize(settings_id))
            return c.fault.refuse(
                c.d.violate(kUnknownSetting, where(s) + "unknown settings ID " + hex(settings_id)));
        if (c.fault.skip()) return c.fault.code;
        auto value = c.st.setting(settings_id);
        // The store writes exactly the value's size, never more.
        std::memcpy(dst, value->data(), value->size());
        c.data = logged(settings_id, std::move(*value));
        return c.did();
    });
}

uint32_t meSTCSetStatus(uint32_t writer, uint32_t area, uint32_t settings_id, const void *src) {
    constexpr Service s = Service::meSTCSetStatus;
    return serve(s, {writer, area, settings_id, addr(src)}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "writer", writer, kWriter) || !expect(c.d, s, "area", area, kStatusArea) ||
            !notNull(c.d, s, src, "source"))
            return c.fault.refuse(kBadArgument);
        auto size = settingSize(settings_id);
        if (!size)
            return c.fault.refuse(
                c.d.violate(kUnknownSetting, where(s) + "unknown settings ID " + hex(settings_id)));
        if (c.fault.skip()) return c.fault.code;
        const auto *bytes = static_cast<const uint8_t *>(src);
        Bytes value(bytes, bytes + *size);
        c.st.putSetting(settings_id, value);
        c.data = logged(settings_id, std::move(value));
        return c.did();
    });
}

// ---- job values ------------------------------------------------------------------

uint32_t meSVCGetCurrent(uint32_t job_id, uint32_t value_id, void *dst) {
    constexpr Service s = Service::meSVCGetCurrent;
    return serve(s, {job_id, value_id, addr(dst)},
                 [&](Ctx &c) { return readJobValue(c, s, job_id, value_id, dst); });
}

uint32_t meSVCSetCurrent(uint32_t writer, uint32_t job_id, uint32_t value_id, const void *src) {
    constexpr Service s = Service::meSVCSetCurrent;
    return serve(s, {writer, job_id, value_id, addr(src)}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "writer", writer, kWriter) || !notNull(c.d, s, src, "source"))
            return c.fault.refuse(kBadArgument);
        if (c.fault.skip()) return c.fault.code;
        if (!c.st.jobExists(job_id)) return c.fault.refuse(kUnknownJob);
        auto width = valueWidth(value_id);
        if (!width) return c.fault.refuse(kUnknownValue);
        // Values the library writes have fixed widths.
        const auto *bytes = static_cast<const uint8_t *>(src);
        c.data.assign(bytes, bytes + *width);
        c.st.putJobValue(job_id, value_id, c.data);
        return c.did();
    });
}

// ---- ID service -------------------------------------------------------------------------

uint32_t mectInitDefault(uint32_t kind, uint32_t arg) {
    return setUpId(Service::mectInitDefault, kind, arg, "argument",
                   [](Device &d, uint32_t) { d.id.init_default = true; });
}

uint32_t mectSetDstProduct(uint32_t kind, uint32_t product) {
    return setUpId(Service::mectSetDstProduct, kind, product, "product",
                   [](Device &d, uint32_t v) { d.id.dst_product = v; });
}

uint32_t mectSetDstArea(uint32_t kind, uint32_t area) {
    return setUpId(Service::mectSetDstArea, kind, area, nullptr,
                   [](Device &d, uint32_t v) { d.id.dst_area = v; });
}

uint32_t mectIdSync(uint32_t kind) {
    constexpr Service s = Service::mectIdSync;
    return serve(s, {kind}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "kind", kind, kIdSyncKind)) return c.fault.refuse(kBadArgument);
        if (c.fault.skip()) return c.fault.code;
        const uint32_t answer = c.d.nextIdSyncAnswer();
        c.done = true;
        return c.fault.refuse(answer);
    });
}

// ---- job links --------------------------------------------------------------------------

uint32_t mectSVCGetParentLink(uint32_t selector, uint32_t job_id, uint32_t *parent_id) {
    constexpr Service s = Service::mectSVCGetParentLink;
    return serve(s, {selector, job_id, addr(parent_id)}, [&](Ctx &c) -> uint32_t {
        if (!expect(c.d, s, "selector", selector, kLinkSelector) ||
            !notNull(c.d, s, parent_id, "parent pointer"))
            return c.fault.refuse(kBadArgument);
        if (c.fault.skip()) return c.fault.code;
        auto parent = c.st.jobExists(job_id) ? c.st.parent(job_id) : std::nullopt;
        if (!parent) return c.fault.refuse(kUnknownLink);
        *parent_id = *parent;
        c.data = bigEndian(*parent);
        return c.did();
    });
}

uint32_t mectSVCGetChildLink(uint32_t selector, uint32_t job_id, uint32_t link_kind, uint32_t index,
                             uint32_t *link_id) {
    return getChildLink(Service::mectSVCGetChildLink, selector, job_id, link_kind, index, link_id);
}

uint32_t mectGetChildLink(uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t index,
                          uint32_t *link_id) {
    return getChildLink(Service::mectGetChildLink, selector, job_id, static_cast<uint32_t>(link_kind), index,
                        link_id);
}

uint32_t mectGetChildLinkNum(uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t *number) {
    constexpr Service s = Service::mectGetChildLinkNum;
    return serve(s, {selector, job_id, static_cast<uint32_t>(link_kind), addr(number)},
                 [&](Ctx &c) -> uint32_t {
                     if (auto refused = linkRefused(c, s, selector, job_id, number, "count pointer"))
                         return *refused;
                     *number = static_cast<int32_t>(c.st.children(job_id, link_kind).size());
                     c.data = bigEndian(static_cast<uint32_t>(*number));
                     return c.did();
                 });
}

uint32_t mectSVCGetCurrent(uint32_t link_id, uint32_t value_id, void *dst) {
    constexpr Service s = Service::mectSVCGetCurrent;
    return serve(s, {link_id, value_id, addr(dst)},
                 [&](Ctx &c) { return readJobValue(c, s, link_id, value_id, dst); });
}

// ---- scheduler and report notifications ----------------------------------------------------

uint32_t mscMLPRNChgSchedule(uint32_t a, uint32_t b) {
    return notify(Service::mscMLPRNChgSchedule, {a, b}, Expect::zeros);
}

uint32_t mscMLRPTChgSMTPProtocol(uint32_t protocol) {
    // The selector is one byte; anything larger was sign-extended on the way.
    return notify(Service::mscMLRPTChgSMTPProtocol, {protocol}, Expect::byte);
}

uint32_t mscMLRPTChgEventReportTime(uint32_t recipient) {
    return notify(Service::mscMLRPTChgEventReportTime, {recipient}, Expect::recipient);
}

uint32_t mscMLRPTChgScheduleReportTime(uint32_t recipient) {
    return notify(Service::mscMLRPTChgScheduleReportTime, {recipient}, Expect::recipient);
}

uint32_t mscMLRPTChgMaintenanceReportTime(void) {
    return notify(Service::mscMLRPTChgMaintenanceReportTime, {}, Expect::anything);
}

// ---- memory partition 0 ------------------------------------------------------------------------

uint32_t emwOSWOrgAllocMemPart(uint32_t partition, void **block, uint32_t size) {
    constexpr Service s = Service::emwOSWOrgAllocMemPart;
    return serve(s, {partition, addr(block), size}, [&](Ctx &c) -> uint32_t {
        if (partition != 0)
            return c.fault.refuse(
                c.d.violate(kNoMemory, where(s) + "partition " + hex(partition) + ", the device has only 0"));
        if (!notNull(c.d, s, block, "block pointer")) return c.fault.refuse(kBadArgument);
        if (c.fault.skip()) return c.fault.code;
        void *p = c.d.allocate(size);
        if (p == nullptr) return c.fault.refuse(kNoMemory);
        *block = p;
        return c.did();
    });
}

uint32_t emwOSWOrgFreeMemPart(uint32_t partition, void *block) {
    constexpr Service s = Service::emwOSWOrgFreeMemPart;
    return serve(s, {partition, addr(block)}, [&](Ctx &c) -> uint32_t {
        Device &d = c.d;
        if (partition != 0)
            return c.fault.refuse(d.violate(kBadArgument, where(s) + "partition " + hex(partition) +
                                                              ", the device has only 0"));
        // A failing free still takes the block back: its caller cannot act
        // on the answer, and a second free of the block must show up as one.
        if (!d.release(block))
            return c.fault.refuse(d.violate(kBadArgument, where(s) + "block " + hex(addr(block)) +
                                                              " was not handed out or is already free"));
        return c.did();
    });
}

// ---- monitor -------------------------------------------------------------------------------------

uint32_t emwGENMonSendMessage(uint32_t module, uint32_t msg_class, uint32_t zero, const char *format, ...) {
    constexpr Service s = Service::emwGENMonSendMessage;
    va_list ap;
    va_start(ap, format);
    // Formatted once, outside the transaction, so that a retried or failed
    // transaction never reads the values twice.
    std::string error = format == nullptr ? "null format" : "";
    std::string text;
    if (format != nullptr) text = formatMonitorLine(format, ap, error);
    va_end(ap);
    return serve(s, {module, msg_class, zero}, [&](Ctx &c) -> uint32_t {
        uint32_t answer = 0;
        if (!error.empty())
            answer = c.d.violate(kBadArgument, where(s) + error + " in \"" + (format ? format : "") + "\"");
        c.text = text;
        // A fault only changes the answer: the line has been received.
        c.done = true;
        return c.fault.refuse(answer);
    });
}

} // extern "C"

#pragma GCC visibility pop
