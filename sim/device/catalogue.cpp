// catalogue.cpp - what the device knows: every settings ID with its size and
// factory value, and every job value ID with its width.
//
// Numbers are kept in the device's byte order (big-endian), strings
// NUL-padded to the value's size.
#include "devsim_device.h"

#include <cstring>

namespace devsim {
namespace {

struct Entry {
    uint32_t id;
    uint32_t size;
    uint32_t number;  // used when text is null (big-endian, size <= 4)
    const char *text; // NUL-padded to size
};

constexpr Entry N(uint32_t id, uint32_t size, uint32_t number) { return {id, size, number, nullptr}; }
constexpr Entry S(uint32_t id, uint32_t size, const char *text) { return {id, size, 0, text}; }

// Per-recipient settings come in threes, one ID per recipient (1, 2, 3);
// the two first event-report rows are the same values the schedule report uses.
constexpr Entry kSettings[] = {
    // POP3 server
    N(0x85005b3c, 1, 1),  // receive
    N(0x850063d4, 2, 15), // check interval, minutes
    N(0x85005894, 1, 0),  // authentication
    S(0x85005164, 32, "example.com"),
    S(0x8500518c, 32, "mail.example.com"),
    S(0x850051b4, 32, ""),
    S(0x850051dc, 32, ""),
    S(0x85005204, 32, ""),
    S(0x8500522c, 32, ""),
    S(0x85005254, 32, ""),
    S(0x8500527c, 32, ""),
    S(0x850052a4, 32, ""),
    S(0x850052cc, 32, ""),

    // POP3 users 1, 2, 3
    N(0x85005b64, 1, 1),
    N(0x85005b8c, 1, 0),
    N(0x85005bb4, 1, 0), // enable
    S(0x850054ac, 64, "pop.example.com"),
    S(0x850054d4, 64, "pop.example.com"),
    S(0x850054fc, 64, "pop.example.com"), // server
    S(0x8500559c, 64, "user1"),
    S(0x850055c4, 64, "user2"),
    S(0x850055ec, 64, "user3"),
    N(0x850063fc, 2, 110),
    N(0x85006424, 2, 110),
    N(0x8500644c, 2, 110), // port
    N(0x850058bc, 1, 0),
    N(0x850058e4, 1, 0),
    N(0x8500590c, 1, 0), // auth
    S(0x85005614, 64, "secret1"),
    S(0x8500563c, 64, "secret2"),
    S(0x85005664, 64, "secret3"),
    S(0x85005524, 64, "INBOX"),
    S(0x8500554c, 64, "INBOX"),
    S(0x85005574, 64, "INBOX"),
    N(0x8500626c, 1, 0),
    N(0x85006294, 1, 0),
    N(0x850062bc, 1, 0), // ssl
    N(0x8500635c, 2, 60),
    N(0x85006384, 2, 60),
    N(0x850063ac, 2, 60), // timeout
    N(0x850059fc, 1, 1),
    N(0x85005a24, 1, 1),
    N(0x85005a4c, 1, 1), // leave on server
    N(0x85005984, 1, 0),
    N(0x850059ac, 1, 0),
    N(0x850059d4, 1, 0), // apop

    // SMTP server
    N(0x85005fec, 1, 0),  // protocol selector
    N(0x85006334, 2, 25), // port
    S(0x85005484, 64, "smtp.example.com"),
    N(0x85005934, 1, 0), // auth
    N(0x85005d44, 1, 0), // ssl
    N(0x85005f4c, 1, 0), // POP before SMTP
    S(0x8500568c, 64, "device"),
    S(0x850056b4, 64, "password"),
    N(0x850062e4, 1, 0),    // size limit on
    N(0x85006564, 2, 2048), // size limit, KB
    S(0x850056dc, 128, "device@example.com"),
    S(0x850057f4, 256, "Sent from the office device"),
    S(0x850057a4, 128, ""),
    N(0x8500595c, 1, 0), // domain filter
    S(0x850052f4, 32, "example.com"),
    S(0x8500531c, 32, ""),
    S(0x85005344, 32, ""),
    S(0x8500536c, 32, ""),
    S(0x85005394, 32, ""),
    S(0x850053bc, 32, ""),
    S(0x850053e4, 32, ""),
    S(0x8500540c, 32, ""),
    S(0x85005434, 32, ""),
    S(0x8500545c, 32, ""),

    // Report recipients 1, 2, 3: address and name (event and schedule report)
    S(0x8560572c, 128, "admin@example.com"),
    S(0x85605754, 128, "report2@example.com"),
    S(0x8560577c, 128, "report3@example.com"),
    S(0x8500581c, 256, "Administrator"),
    S(0x85005844, 256, "Recipient 2"),
    S(0x8500586c, 256, "Recipient 3"),
    // event report
    N(0x85005ed4, 1, 1),
    N(0x85005efc, 1, 0),
    N(0x85005f24, 1, 0),
    N(0x85005c54, 1, 1),
    N(0x85005c7c, 1, 0),
    N(0x85005ca4, 1, 0),
    N(0x85005f74, 1, 0),
    N(0x85005f9c, 1, 0),
    N(0x85005fc4, 1, 0),
    N(0x85005e5c, 1, 1),
    N(0x85005e84, 1, 0),
    N(0x85005eac, 1, 0),
    N(0x85005bdc, 1, 0),
    N(0x85005c04, 1, 0),
    N(0x85005c2c, 1, 0),
    N(0x85005de4, 1, 1),
    N(0x85005e0c, 1, 0),
    N(0x85005e34, 1, 0),
    N(0x85005ccc, 1, 0),
    N(0x85005cf4, 1, 0),
    N(0x85005d1c, 1, 0),
    N(0x85006474, 2, 60),
    N(0x8500649c, 2, 60),
    N(0x850064c4, 2, 60), // interval
    // schedule report
    N(0x85005d6c, 1, 1),
    N(0x85005d94, 1, 0),
    N(0x85005dbc, 1, 0), // enable
    N(0x85006104, 1, 1),
    N(0x8500612c, 1, 1),
    N(0x85006154, 1, 1), // week
    N(0x8500617c, 1, 1),
    N(0x850061a4, 1, 1),
    N(0x850061cc, 1, 1), // day
    N(0x8500608c, 1, 9),
    N(0x850060b4, 1, 9),
    N(0x850060dc, 1, 9), // hour
    N(0x850064ec, 2, 7),
    N(0x85006514, 2, 7),
    N(0x8500653c, 2, 7), // period
    N(0x850061f4, 1, 0),
    N(0x8500621c, 1, 0),
    N(0x85006244, 1, 0), // minute
    N(0x85006014, 1, 1),
    N(0x8500603c, 1, 1),
    N(0x85006064, 1, 1), // report

    // Last send: event report, schedule report (per recipient), maintenance
    N(0x850065b4, 4, 0x5f5e1000),
    N(0x850065dc, 4, 0),
    N(0x85006604, 4, 0),
    N(0x8500662c, 4, 0x5f5e2000),
    N(0x85006654, 4, 0),
    N(0x8500667c, 4, 0),
    N(0x8500658c, 4, 0x5f5e3000),

    // Maintenance report (the first value is also the first subject value)
    S(0x8500513c, 16, "Maintenance"),
    S(0x85605704, 128, "service@example.com"),
    S(0x850057cc, 256, "Service"),
    N(0x85005a74, 1, 1),  // week
    N(0x85005aec, 1, 1),  // day
    N(0x85005ac4, 1, 8),  // hour
    N(0x8500630c, 2, 30), // period
    N(0x85005b14, 1, 0),  // minute
    N(0x85005a9c, 1, 0),  // enable

    // Counters
    N(0x94009470, 4, 12034),
    N(0x85004fb8, 4, 345),
    N(0x85005030, 4, 27),
    N(0x85005008, 4, 3),
    N(0x850050a8, 4, 1500),
    N(0x85004fe0, 4, 8),
    N(0x940092b8, 4, 640),
    N(0x94009308, 4, 52),
    N(0x94009380, 4, 1),
    N(0x94009330, 4, 77),
    N(0x94009358, 4, 0),
    N(0x940093a8, 4, 19),
    N(0x940093d0, 4, 4),
    N(0x940093f8, 4, 0x10000),
    N(0x94009448, 4, 2),
    N(0x94009420, 4, 0xfffffffe),

    // Subject
    S(0x850008c8, 32, "Office device"),
    S(0x840071cc, 16, "Floor 3"),
    S(0x840073ac, 32, "it@example.com"),
    S(0x85000288, 16, "MFP-300"),
    S(0x85004a90, 32, "SN0001234567"),

    // Host buffer
    N(0x85002308, 1, 1),
    N(0x85002330, 4, 0x00100000),
};

struct Width {
    uint32_t value_id;
    uint32_t width;
};

// The names of linked jobs (read through mectSVCGetCurrent) are "at most
// 128 bytes": the device keeps and delivers each at its own length.
constexpr uint32_t kNamesOfOwnWidth[] = {0x00716800, 0x00617800, 0x00916000, 0x00a16000, 0x00817001};

constexpr Width kValueWidths[] = {
    {0x00317800, 128}, {0x00318002, 256}, {0x00318003, 256}, {0x0036000b, 1},   {0x00460000, 1},
    {0x00460001, 1},   {0x00360044, 1},   {0x00317000, 128}, {0x00182000, 4},   {0x00282000, 4},
    {0x00d17000, 256}, {0x0036000e, 1},   {0x00460022, 1},   {0x00460024, 1},   {0x0046001c, 1},
    {0x00617800, 128}, {0x00417000, 128}, {0x00318000, 256}, {0x00318001, 256}, {0x00360005, 1},
    {0x00716800, 128}, {0x00860004, 1},   {0x00660000, 1},   {0x00916000, 128}, {0x00960000, 1},
    {0x00a16000, 128}, {0x00a60000, 1},   {0x00817001, 128},
};

Bytes defaultValue(const Entry &e) {
    Bytes v(e.size, 0);
    if (e.text != nullptr) {
        std::size_t n = std::strlen(e.text);
        std::memcpy(v.data(), e.text, n < e.size ? n : e.size);
    } else {
        for (uint32_t i = 0; i < e.size && i < 4; ++i)
            v[e.size - 1 - i] = static_cast<uint8_t>(e.number >> (8 * i));
    }
    return v;
}

} // namespace

const std::vector<SettingInfo> &catalogue() {
    static const std::vector<SettingInfo> table = [] {
        std::vector<SettingInfo> t;
        t.reserve(std::size(kSettings));
        for (const Entry &e : kSettings) t.push_back({e.id, e.size, defaultValue(e)});
        return t;
    }();
    return table;
}

std::optional<uint32_t> settingSize(uint32_t id) {
    for (const Entry &e : kSettings)
        if (e.id == id) return e.size;
    return std::nullopt;
}

std::optional<uint32_t> valueWidth(uint32_t value_id) {
    for (const Width &w : kValueWidths)
        if (w.value_id == value_id) return w.width;
    return std::nullopt;
}

std::vector<uint32_t> valueIds() {
    std::vector<uint32_t> ids;
    for (const Width &w : kValueWidths) ids.push_back(w.value_id);
    return ids;
}

bool widthPerValue(uint32_t value_id) {
    for (uint32_t id : kNamesOfOwnWidth)
        if (id == value_id) return true;
    return false;
}

} // namespace devsim
