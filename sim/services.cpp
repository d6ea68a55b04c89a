// services.cpp - the device services, with the C names and signatures the
// library imports.
//
// Every service takes the device lock for its whole call, so the call log
// is in the order the calls took effect. Nothing here may throw into the
// caller: an exception (out of memory in the simulator itself) becomes
// kNoMemory.
#include "device.h"
#include "device_services.h"

#include <cstdlib>
#include <cstring>

namespace devsim {
namespace {

uint64_t addr(const void *p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// Runs body under the device lock with the fault armed for this call, and
// logs the call with its result.
template <typename Body>
uint32_t serve(Service s, std::initializer_list<uint64_t> args, Body body) noexcept {
    try {
        Device &d = device();
        std::lock_guard lock(d.mu);
        Armed fault = d.arm(s);
        std::string text;
        uint32_t result = body(d, fault, text);
        d.log.push_back(Call{s, std::vector<uint64_t>(args), result, std::move(text)});
        return result;
    } catch (...) {
        return kNoMemory;
    }
}

std::string where(Service s) { return std::string(serviceName(s)) + ": "; }

// Checks a fixed argument; a mismatch is a broken rule.
bool expect(Device &d, Service s, const char *what, uint32_t got, uint32_t want) {
    if (got == want)
        return true;
    d.violate(kBadArgument, where(s) + what + " " + hex(got) + ", the device expects " + hex(want));
    return false;
}

bool notNull(Device &d, Service s, const void *p, const char *what) {
    if (p != nullptr)
        return true;
    d.violate(kBadArgument, where(s) + "null " + what);
    return false;
}

// Reads a job value into dst (shared by meSVCGetCurrent and mectSVCGetCurrent).
uint32_t readJobValue(Device &d, Service s, const Armed &fault, uint32_t job, uint32_t vid, void *dst) {
    if (!notNull(d, s, dst, "destination"))
        return kBadArgument;
    if (!d.jobs.count(job))
        return kUnknownJob;
    auto width = valueWidth(vid);
    if (!width)
        return kUnknownValue;
    if (fault.skip())
        return fault.code;
    auto it = d.job_values.find({job, vid});
    if (it != d.job_values.end())
        std::memcpy(dst, it->second.data(), *width);
    else
        std::memset(dst, 0, *width);
    return fault.answer();
}

// The link_index-th child link of job of the given kind.
std::optional<uint32_t> childLink(const Device &d, uint32_t job, uint32_t kind, uint64_t link_index) {
    uint64_t i = 0;
    for (const auto &[parent, k, link] : d.children) {
        if (parent == job && static_cast<uint32_t>(k) == kind && i++ == link_index)
            return link;
    }
    return std::nullopt;
}

uint32_t getChildLink(Service s, uint32_t selector, uint32_t job, uint32_t kind, int64_t link_index,
                      uint32_t *link_id) {
    return serve(s, {selector, job, kind, static_cast<uint32_t>(link_index), addr(link_id)},
                 [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
                     if (!expect(d, s, "selector", selector, kLinkSelector) ||
                         !notNull(d, s, link_id, "link ID pointer"))
                         return kBadArgument;
                     if (!d.jobs.count(job))
                         return kUnknownJob;
                     auto link = link_index < 0 ? std::nullopt : childLink(d, job, kind, link_index);
                     if (!link)
                         return kUnknownLink;
                     if (fault.skip())
                         return fault.code;
                     *link_id = *link;
                     return fault.answer();
                 });
}

enum class Expect { anything, zeros, byte, recipient };

// A notification: recorded as an event line unless a fault skips it.
uint32_t notify(Service s, std::initializer_list<uint64_t> args, Expect expect) {
    return serve(s, args, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        std::string shown;
        bool ok = true;
        for (uint64_t a : args) {
            // Appended piece by piece: "," + to_string() trips GCC 12's -Wrestrict.
            if (!shown.empty())
                shown += ',';
            shown += std::to_string(a);
            ok = ok && (expect == Expect::anything || (expect == Expect::zeros && a == 0) ||
                        (expect == Expect::byte && a <= 0xff) ||
                        (expect == Expect::recipient && a >= 1 && a <= 3));
        }
        if (!ok) {
            const char *want = expect == Expect::zeros  ? "0"
                               : expect == Expect::byte ? "a byte (0..255)"
                                                        : "a recipient 1, 2 or 3";
            return d.violate(kBadArgument, where(s) + "argument(s) " + shown + ", the device expects " + want);
        }
        if (fault.skip())
            return fault.code;
        d.events.push_back("notify " + std::string(serviceName(s)) + "(" + shown + ")");
        return fault.answer();
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
    return serve(s, {area, settings_id, addr(dst)}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "area", area, kStatusArea) || !notNull(d, s, dst, "destination"))
            return kBadArgument;
        auto it = d.settings.find(settings_id);
        if (it == d.settings.end())
            return d.violate(kUnknownSetting, where(s) + "unknown settings ID " + hex(settings_id));
        if (fault.skip())
            return fault.code;
        // The store writes exactly the value's size, never more.
        std::memcpy(dst, it->second.data(), it->second.size());
        return fault.answer();
    });
}

uint32_t meSTCSetStatus(uint32_t writer, uint32_t area, uint32_t settings_id, const void *src) {
    constexpr Service s = Service::meSTCSetStatus;
    return serve(s, {writer, area, settings_id, addr(src)}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "writer", writer, kWriter) || !expect(d, s, "area", area, kStatusArea) ||
            !notNull(d, s, src, "source"))
            return kBadArgument;
        auto it = d.settings.find(settings_id);
        if (it == d.settings.end())
            return d.violate(kUnknownSetting, where(s) + "unknown settings ID " + hex(settings_id));
        if (fault.skip())
            return fault.code;
        std::memcpy(it->second.data(), src, it->second.size());
        return fault.answer();
    });
}

// ---- job values ------------------------------------------------------------------

uint32_t meSVCGetCurrent(uint32_t job_id, uint32_t value_id, void *dst) {
    constexpr Service s = Service::meSVCGetCurrent;
    return serve(s, {job_id, value_id, addr(dst)}, [&](Device &d, const Armed &fault, std::string &) {
        return readJobValue(d, s, fault, job_id, value_id, dst);
    });
}

uint32_t meSVCSetCurrent(uint32_t writer, uint32_t job_id, uint32_t value_id, const void *src) {
    constexpr Service s = Service::meSVCSetCurrent;
    return serve(s, {writer, job_id, value_id, addr(src)}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "writer", writer, kWriter) || !notNull(d, s, src, "source"))
            return kBadArgument;
        if (!d.jobs.count(job_id))
            return kUnknownJob;
        auto width = valueWidth(value_id);
        if (!width)
            return kUnknownValue;
        if (fault.skip())
            return fault.code;
        const auto *bytes = static_cast<const uint8_t *>(src);
        d.job_values[{job_id, value_id}] = Bytes(bytes, bytes + *width);
        return fault.answer();
    });
}

// ---- ID service -------------------------------------------------------------------------

uint32_t mectInitDefault(uint32_t kind, uint32_t arg) {
    constexpr Service s = Service::mectInitDefault;
    return serve(s, {kind, arg}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "kind", kind, kIdKind) || !expect(d, s, "argument", arg, 0))
            return kBadArgument;
        if (fault.skip())
            return fault.code;
        d.id.init_default = true;
        return fault.answer();
    });
}

uint32_t mectSetDstProduct(uint32_t kind, uint32_t product) {
    constexpr Service s = Service::mectSetDstProduct;
    return serve(s, {kind, product}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "kind", kind, kIdKind) || !expect(d, s, "product", product, 0))
            return kBadArgument;
        if (fault.skip())
            return fault.code;
        d.id.dst_product = product;
        return fault.answer();
    });
}

uint32_t mectSetDstArea(uint32_t kind, uint32_t area) {
    constexpr Service s = Service::mectSetDstArea;
    return serve(s, {kind, area}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "kind", kind, kIdKind))
            return kBadArgument;
        if (fault.skip())
            return fault.code;
        d.id.dst_area = area;
        return fault.answer();
    });
}

uint32_t mectIdSync(uint32_t kind) {
    constexpr Service s = Service::mectIdSync;
    return serve(s, {kind}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "kind", kind, kIdSyncKind))
            return kBadArgument;
        if (fault.skip())
            return fault.code;
        uint32_t answer = 0;
        if (!d.id_sync_script.empty()) {
            answer = d.id_sync_script.front();
            d.id_sync_script.pop_front();
        }
        return fault.on ? fault.code : answer;
    });
}

// ---- job links --------------------------------------------------------------------------

uint32_t mectSVCGetParentLink(uint32_t selector, uint32_t job_id, uint32_t *parent_id) {
    constexpr Service s = Service::mectSVCGetParentLink;
    return serve(s, {selector, job_id, addr(parent_id)}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (!expect(d, s, "selector", selector, kLinkSelector) || !notNull(d, s, parent_id, "parent pointer"))
            return kBadArgument;
        auto it = d.parents.find(job_id);
        if (!d.jobs.count(job_id) || it == d.parents.end())
            return kUnknownLink;
        if (fault.skip())
            return fault.code;
        *parent_id = it->second;
        return fault.answer();
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
                 [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
                     if (!expect(d, s, "selector", selector, kLinkSelector) || !notNull(d, s, number, "count pointer"))
                         return kBadArgument;
                     if (!d.jobs.count(job_id))
                         return kUnknownJob;
                     if (fault.skip())
                         return fault.code;
                     int32_t n = 0;
                     for (const auto &[job, kind, link] : d.children)
                         n += (job == job_id && kind == link_kind) ? 1 : 0;
                     *number = n;
                     return fault.answer();
                 });
}

uint32_t mectSVCGetCurrent(uint32_t link_id, uint32_t value_id, void *dst) {
    constexpr Service s = Service::mectSVCGetCurrent;
    return serve(s, {link_id, value_id, addr(dst)}, [&](Device &d, const Armed &fault, std::string &) {
        return readJobValue(d, s, fault, link_id, value_id, dst);
    });
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
    return serve(s, {partition, addr(block), size}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (partition != 0)
            return d.violate(kNoMemory, where(s) + "partition " + hex(partition) + ", the device has only 0");
        if (!notNull(d, s, block, "block pointer"))
            return kBadArgument;
        if (fault.skip())
            return fault.code;
        void *p = std::malloc(size != 0 ? size : 1);
        if (p == nullptr)
            return kNoMemory;
        // Nothing the partition hands out is cleared.
        std::memset(p, kGarbage, size);
        d.blocks[p] = size;
        d.live_bytes += size;
        d.mem.allocs++;
        if (d.live_bytes > d.mem.peak_bytes)
            d.mem.peak_bytes = d.live_bytes;
        *block = p;
        return fault.answer();
    });
}

uint32_t emwOSWOrgFreeMemPart(uint32_t partition, void *block) {
    constexpr Service s = Service::emwOSWOrgFreeMemPart;
    return serve(s, {partition, addr(block)}, [&](Device &d, const Armed &fault, std::string &) -> uint32_t {
        if (partition != 0)
            return d.violate(kBadArgument, where(s) + "partition " + hex(partition) + ", the device has only 0");
        auto it = d.blocks.find(block);
        if (it == d.blocks.end())
            return d.violate(kBadArgument, where(s) + "block " + hex(addr(block)) +
                                               " was not handed out or is already free");
        // A failing free still takes the block back: its caller cannot act
        // on the answer, and a second free of the block must show up as one.
        // Scribble over it so a use after free reads rubbish.
        std::memset(block, 0xdd, it->second);
        std::free(block);
        d.live_bytes -= it->second;
        d.blocks.erase(it);
        d.mem.frees++;
        return fault.answer();
    });
}

// ---- monitor -------------------------------------------------------------------------------------

uint32_t emwGENMonSendMessage(uint32_t module, uint32_t msg_class, uint32_t zero, const char *format, ...) {
    constexpr Service s = Service::emwGENMonSendMessage;
    va_list ap;
    va_start(ap, format);
    uint32_t result = serve(s, {module, msg_class, zero}, [&](Device &d, const Armed &fault, std::string &text) {
        uint32_t answer = 0;
        std::string error = format == nullptr ? "null format" : "";
        if (format != nullptr)
            text = formatMonitorLine(format, ap, error);
        if (!error.empty())
            answer = d.violate(kBadArgument, where(s) + error + " in \"" + (format ? format : "") + "\"");
        d.monitor.push_back(MonitorLine{module, msg_class, zero, text});
        std::string shown = text;
        if (!shown.empty() && shown.back() == '\n')
            shown.pop_back();
        d.events.push_back("monitor(" + hex(module) + "," + hex(msg_class) + "," + hex(zero) + ") " + shown);
        // A fault only changes the answer: the line has been received.
        return fault.on ? fault.code : answer;
    });
    va_end(ap);
    return result;
}

} // extern "C"

#pragma GCC visibility pop
