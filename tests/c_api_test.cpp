// The simulator's C control API: what each call answers, what it says when
// it fails, and the log entries it hands out.
#include "support/device.h"

#include "corvellib_devsim.h"
#include "device_services.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>
#include <thread>
#include <vector>

extern "C" int old_client_reads_log(uint64_t seq, int32_t pid, const char *program);

namespace {

using corvel::test::DeviceTest;

class CApiTest : public DeviceTest {};

// Each refused call answers its failure value and names what was wrong.
TEST_F(CApiTest, RefusalsAnswerFailureAndSayWhy) {
    devsim_log_entry room[2];
    devsim_log_record records[2];
    devsim_log_query small = {sizeof small - 1, 0, nullptr, nullptr, nullptr, 0},
                     pid = {sizeof pid, 0, nullptr, nullptr, nullptr, -1},
                     kind = {sizeof kind, 0, nullptr, "nokind", nullptr, 0};
    struct Case {
        const char *what;
        std::function<long()> call;
        const char *said; // in devsim_last_error()
    } cases[] = {
        {"NULL spec", [] { return static_cast<long>(devsim_fault_add(nullptr)); }, "NULL"},
        {"unknown service", [] { return static_cast<long>(devsim_fault_add("meNoSuch=0x1")); }, "meNoSuch"},
        {"bad code", [] { return static_cast<long>(devsim_fault_add("meSTCGetStatus=zz")); }, "zz"},
        {"clear unknown ID", [] { return static_cast<long>(devsim_fault_clear(987654) + 1); }, "987654"},
        {"hits of unknown ID", [] { return devsim_fault_hits(987655) + 1; }, "987655"},
        {"log of unknown service", [&] { return devsim_log_read(0, "meNoSuch", nullptr, room, 2) + 1; },
         "meNoSuch"},
        {"log of unknown kind", [&] { return devsim_log_read(0, nullptr, "nokind", room, 2) + 1; }, "nokind"},
        {"log into NULL", [] { return devsim_log_read(0, nullptr, nullptr, nullptr, 2) + 1; }, "NULL"},
        {"select without query", [&] { return devsim_log_select(nullptr, records, 2) + 1; }, "NULL"},
        {"select of another size", [&] { return devsim_log_select(&small, records, 2) + 1; }, "size"},
        {"select of no pid", [&] { return devsim_log_select(&pid, records, 2) + 1; }, "-1"},
        {"select of unknown kind", [&] { return devsim_log_select(&kind, records, 2) + 1; }, "nokind"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.call(), 0) << c.what;
        EXPECT_NE(std::string(devsim_last_error()).find(c.said), std::string::npos)
            << c.what << ": " << devsim_last_error();
        EXPECT_EQ(std::string(devsim_last_error()).find('\n'), std::string::npos) << c.what;
    }
    // A refused device leaves the process on a fresh memory device, never the default one.
    // A long one is cut in the middle, between whole UTF-8 characters wherever the cut falls.
    std::vector<std::string> refused = {"", " \t", ":MEMORY:"};
    const std::string euros = std::regex_replace(std::string(2000, 'e'), std::regex("e"), "\u20ac");
    for (std::size_t shift = 0; CORVEL_FILE_DEVICE && shift < 3; ++shift)
        refused.push_back("/nonexistent/\n" + std::string(shift, 'p') + euros + "/device.db");
    // Whole characters: ASCII, or a lead byte with its continuation bytes.
    const std::regex whole_utf8("([\\x01-\\x7f]|[\\xc2-\\xdf][\\x80-\\xbf]|[\\xe0-\\xef][\\x80-\\xbf]{2})*");
    for (const std::string &path : refused) {
        EXPECT_EQ(devsim_open(path.c_str()), -1) << path.size();
        EXPECT_STREQ(devsim_path(), devsim::kMemoryDevice);
        const std::string why = devsim_last_error();
        EXPECT_TRUE(why.size() <= 512 && !why.empty() && std::regex_match(why, whole_utf8)) << why;
        EXPECT_EQ(why.find("\u2026") != std::string::npos, path.size() > 6000) << why;
    }
    // The last error is the calling thread's own.
    std::string other = "unset";
    std::thread([&] { other = devsim_last_error(); }).join();
    EXPECT_EQ(other, "");
}

// A fault armed through the C API fires, the log read pages through the
// entries with the service and kind filters, and clearing by ID disarms.
TEST_F(CApiTest, FaultFiresAndLogPagesWithFilters) {
    ASSERT_EQ(devsim_reset(0), 0);
    const uint64_t fault = devsim_fault_add("meSTCGetStatus#2=0x1234");
    uint8_t dst[4096];
    const uint32_t id = devsim::catalogue()[0].id;
    for (long i = 0; i < 3; ++i) { // spent, it stays listed with its hit
        meSTCGetStatus(devsim::kStatusArea, id, dst);
        EXPECT_EQ(devsim_fault_hits(fault), std::min(i, 1L)) << devsim_last_error();
    }

    // Paged through the query, with this program's name and pid: none of another's.
    std::vector<uint32_t> got;
    devsim_log_record page[2];
    const std::string program = devsim::log().back().program;
    for (const char *name : {program.c_str(), "nosuch"}) {
        devsim_log_query q = {sizeof q, 0, "meSTCGetStatus", "call", name, static_cast<long>(getpid())};
        for (long n; (n = devsim_log_select(&q, page, 2)) > 0;) {
            for (long i = 0; i < n; ++i) {
                const devsim_log_entry &e = page[i].entry;
                EXPECT_STREQ(e.service, "meSTCGetStatus");
                EXPECT_STREQ(e.kind, "call");
                ASSERT_EQ(e.arg_count, 3u);
                EXPECT_EQ(e.args[0], devsim::kStatusArea);
                EXPECT_NE(std::string(e.line).find("meSTCGetStatus"), std::string::npos) << e.line;
                EXPECT_EQ(page[i].names_arg, 1);
                ASSERT_EQ(page[i].name_count, 1u);
                EXPECT_STREQ(page[i].names[0], "pop3.receive");
                got.push_back(e.result);
                q.after = e.seq;
            }
        }
    }
    EXPECT_EQ(got, (std::vector<uint32_t>{0, 0x1234, 0}));
    // A program built against the first header reads the log as it was built to.
    EXPECT_EQ(old_client_reads_log(devsim_last_seq(), getpid(), program.c_str()), 0);
    // Nothing comes after a sequence number no entry can have, in a file as in memory.
    devsim_log_entry room[2];
    const std::string file = ::testing::TempDir() + "c_api_test_" + std::to_string(getpid()) + ".db";
    for (const char *device : {devsim::kMemoryDevice, file.c_str()}) {
        ASSERT_EQ(devsim_open(device), 0) << devsim_last_error();
        meSTCGetStatus(devsim::kStatusArea, id, dst);
        for (uint64_t beyond : {uint64_t{1} << 63, ~uint64_t{0}}) {
            devsim_log_query q = {sizeof q, beyond, nullptr, nullptr, nullptr, 0};
            EXPECT_EQ(devsim_log_read(beyond, nullptr, nullptr, room, 2) + devsim_log_select(&q, page, 2), 0)
                << device;
        }
    }
    devsim_open(devsim::kMemoryDevice);
    std::remove(file.c_str());

    ASSERT_EQ(devsim_fault_clear(devsim_fault_add("meSTCGetStatus=0x99")), 0) << devsim_last_error();
    EXPECT_EQ(meSTCGetStatus(devsim::kStatusArea, id, dst), 0u);
}

} // namespace
