// store_test.cpp - the same cases against every back end of the simulated
// device's storage: keyed rows, transactions and the log. A new back end
// is its name in BackEnds.
#include "store.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using devsim::Bytes;
using devsim::Key;
using devsim::LogEntry;
using devsim::Space;
using devsim::Store;

// A back end by the name it registers under; none when this build lacks it.
template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
};
template <Name N>
struct Named {
    static std::string name() { return N.text; }
    static std::unique_ptr<Store> make(const fs::path &dir) {
        devsim::StoreMaker make = devsim::storeMaker(N.text);
        return make ? make((dir / "device.db").string(), 5000) : nullptr;
    }
};

template <typename BackEnd>
class StoreBackEnd : public ::testing::Test {
protected:
    fs::path dir;
    std::unique_ptr<Store> st;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("store-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        st = BackEnd::make(dir);
        if (!st) GTEST_SKIP() << "this build keeps the device in memory only";
    }
    void TearDown() override {
        st.reset();
        fs::remove_all(dir);
    }
    // The keys a scan finds, as major * 10 + minor; keys() finds the same.
    std::vector<uint64_t> majors(Space s, std::optional<uint64_t> major = std::nullopt) {
        std::vector<uint64_t> out, keyed;
        for (const devsim::Row &r : st->scan(s, major)) out.push_back(r.key.major * 10 + r.key.minor);
        for (const Key &k : st->keys(s, major)) keyed.push_back(k.major * 10 + k.minor);
        EXPECT_EQ(keyed, out);
        return out;
    }
};

using BackEnds = ::testing::Types<Named<"memory">, Named<"file">>;
struct BackEndName {
    template <typename BackEnd>
    static std::string GetName(int) {
        return BackEnd::name();
    }
};
TYPED_TEST_SUITE(StoreBackEnd, BackEnds, BackEndName);

// Rows are found by space and key, overwritten whole, erased alone, and
// scanned in key order, whole or by major.
TYPED_TEST(StoreBackEnd, RowsAreKeyedOverwrittenErasedAndScannedInKeyOrder) {
    Store &st = *this->st;
    st.transact([&] {
        for (auto [major, minor] : {std::pair{3, 1}, {1, 2}, {3, 0}, {1, 1}, {2, 0}, {0, 5}})
            st.put(Space::values, {uint64_t(major), uint64_t(minor)}, Bytes(major + minor, uint8_t(major)));
        st.put(Space::jobs, {1}, {});
        st.put(Space::values, {2, 0}, {9});
        st.erase(Space::values, {1, 2});
        st.erase(Space::values, {7, 7}); // not there: nothing happens
    });
    EXPECT_EQ(st.get(Space::values, {2, 0}), Bytes{9});
    EXPECT_EQ(st.get(Space::values, {3, 1}), Bytes(4, 3));
    EXPECT_EQ(st.get(Space::jobs, {1}), Bytes{});
    EXPECT_FALSE(st.get(Space::values, {1, 2}));
    EXPECT_FALSE(st.get(Space::settings, {2, 0})); // another space
    EXPECT_EQ(this->majors(Space::values), (std::vector<uint64_t>{5, 11, 20, 30, 31}));
    EXPECT_EQ(this->majors(Space::values, 3), (std::vector<uint64_t>{30, 31}));
    EXPECT_TRUE(this->majors(Space::values, 4).empty());
    EXPECT_EQ(st.tampered(), std::vector<std::string>{});
}

// A transaction that throws leaves nothing of itself; a nested one that
// throws is undone alone and the outer one goes on.
TYPED_TEST(StoreBackEnd, ATransactionIsKeptWholeOrNotAtAll) {
    Store &st = *this->st;
    st.transact([&] { st.put(Space::settings, {1}, {1}); });
    LogEntry one;
    one.seq = 1;
    EXPECT_THROW(st.transact([&] {
        st.put(Space::settings, {1}, {2});
        st.put(Space::settings, {2}, {2});
        st.erase(Space::settings, {1});
        st.append(one);
        throw std::runtime_error("given up");
    }),
                 std::runtime_error);
    EXPECT_EQ(st.get(Space::settings, {1}), Bytes{1});
    EXPECT_FALSE(st.get(Space::settings, {2}));
    EXPECT_EQ(st.newestSeq(), 0u);

    st.transact([&] {
        st.put(Space::settings, {3}, {3});
        EXPECT_THROW(st.transact([&] {
            st.put(Space::settings, {4}, {4});
            throw std::runtime_error("inner");
        }),
                     std::runtime_error);
    });
    EXPECT_EQ(st.get(Space::settings, {3}), Bytes{3});
    EXPECT_FALSE(st.get(Space::settings, {4}));
}

// The log keeps its entries whole and in order; its filters combine, and
// drop goes by seq.
TYPED_TEST(StoreBackEnd, TheLogKeepsEntriesWholeFiltersAndDrops) {
    using devsim::LogKind;
    using devsim::Service;
    Store &st = *this->st;
    // seq n: at time n*100, from pid 11 when n is odd, else 22.
    const std::pair<LogKind, Service> made[] = {
        {LogKind::call, Service::meSTCGetStatus},          {LogKind::call, Service::meSTCSetStatus},
        {LogKind::monitor, Service::emwGENMonSendMessage}, {LogKind::call, Service::meSTCGetStatus},
        {LogKind::fault, Service::meSTCGetStatus},         {LogKind::violation, Service{}},
    };
    auto entry = [&](uint64_t seq) {
        return LogEntry{seq,
                        int64_t(seq) * 100,
                        seq % 2 ? 11 : 22,
                        seq == 3 ? "my prog\xff" : "",
                        made[seq - 1].first,
                        made[seq - 1].second,
                        {seq, 0xffffffffffffffffu, 0},
                        uint32_t(seq),
                        seq % 3 == 0,
                        "line " + std::to_string(seq) + "\n",
                        devsim::Bytes(seq % 3, uint8_t(seq))};
    };
    auto fields = [](const LogEntry &e) {
        return std::tie(e.seq, e.time_us, e.pid, e.program, e.kind, e.service, e.args, e.result, e.done,
                        e.text, e.data);
    };
    st.transact([&] {
        for (uint64_t seq = 1; seq <= 6; ++seq) st.append(entry(seq));
    });
    EXPECT_EQ(st.newestSeq(), 6u);
    auto all = st.log({});
    ASSERT_EQ(all.size(), 6u);
    for (uint64_t seq = 1; seq <= 6; ++seq) EXPECT_TRUE(fields(all[seq - 1]) == fields(entry(seq))) << seq;

    // A filter's fields and the entries it keeps (a LogFilter in the table
    // trips GCC 12's maybe-uninitialized on its string).
    struct Case {
        uint64_t after;
        int64_t since;
        std::optional<int32_t> pid;
        std::optional<Service> service;
        std::optional<LogKind> kind;
        std::size_t newest;
        std::vector<uint64_t> seqs;
        uint64_t before = 0;
    } cases[] = {
        {4, 0, {}, {}, {}, 0, {5, 6}},
        {0, 250, {}, {}, {}, 0, {3, 4, 5, 6}},
        {0, 0, 22, {}, {}, 0, {2, 4, 6}},
        {2, 450, 11, {}, {}, 0, {5}},
        {0, 0, {}, Service::meSTCGetStatus, LogKind::call, 0, {1, 4}},
        {0, 0, {}, Service::mectIdSync, {}, 0, {}},
        {0, 0, {}, {}, {}, 2, {5, 6}},
        {0, 0, {}, {}, {}, 9, {1, 2, 3, 4, 5, 6}},
        {0, 0, {}, {}, LogKind::call, 2, {2, 4}},
        {0, 0, 11, Service::meSTCGetStatus, {}, 1, {5}},
        {5, 0, {}, {}, {}, 3, {6}},
        {0, 0, {}, {}, LogKind::monitor, 1, {3}},
        {0, 0, {}, {}, {}, 2, {3, 4}, 5},
        {1, 0, {}, {}, {}, 0, {2, 3}, 4},
        {0, 0, 22, {}, {}, 0, {2}, 4},
    };
    for (const Case &c : cases) {
        std::vector<uint64_t> seqs;
        for (const LogEntry &x : st.log({c.after, c.since, c.pid, c.service, c.kind, c.newest, "", c.before}))
            seqs.push_back(x.seq);
        EXPECT_EQ(seqs, c.seqs) << "case " << &c - cases;
    }
    st.transact([&] { st.drop(4); });
    EXPECT_EQ(st.log({}).size(), 2u);
    EXPECT_EQ(st.newestSeq(), 6u);
    st.transact([&] { st.drop(6); });
    EXPECT_EQ(st.newestSeq(), 0u);
}

} // namespace
