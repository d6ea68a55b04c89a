// Job information through the exported functions: values of a job, of its
// parent and of its linked children, the mail attachment write, and the
// send-result listing with its own failure style.
#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "support/cases.h"

namespace {

using namespace corvel::test;

class Jobs : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        jobWorld();
    }
    alignas(8) uint8_t buf_[1024];
};

// Every value the function reads gets random contents; a second call must
// deliver each at the address it passed, and leave every other byte alone.
// Each field reads its own value: no value of a job is read twice in a call.
TEST_F(Jobs, EachValueReadLandsAtItsFieldAndNothingElseIsWritten) {
    std::mt19937 rng(3);
    for (const JobReader &r : kJobReaders) {
        SCOPED_TRACE(r.name);
        simtest::clearCalls();
        ASSERT_EQ(r.run(kJob, buf_), ENTMLST_OK);
        for (const auto &c : simtest::calls(S::meSVCGetCurrent)) {
            devsim::Bytes v(*devsim::valueWidth(uint32_t(c.args[1])));
            for (auto &b : v) b = static_cast<uint8_t>(rng() | 1);
            ASSERT_TRUE(devsim::putJobValue(uint32_t(c.args[0]), uint32_t(c.args[1]), v));
        }
        simtest::clearCalls();
        std::memset(buf_, 0xee, sizeof buf_);
        ASSERT_EQ(r.run(kJob, buf_), ENTMLST_OK);

        std::vector<bool> covered(sizeof buf_);
        std::set<std::pair<uint64_t, uint64_t>> values; // (job, value ID)
        const auto base = reinterpret_cast<uintptr_t>(buf_);
        for (const auto &c : serviceCalls()) {
            std::size_t off = 0, width = 4; // job-link answers are 32-bit IDs
            if (c.service == S::meSVCGetCurrent) {
                EXPECT_TRUE(values.insert({c.args[0], c.args[1]}).second) << "read twice: " << hex(c.args[1]);
                off = c.args[2] - base;
                auto v = *devsim::jobValue(uint32_t(c.args[0]), uint32_t(c.args[1]));
                width = v.size();
                EXPECT_EQ(devsim::Bytes(buf_ + off, buf_ + off + width), v) << hex(c.args[1]);
            } else if (c.args.back() - base < sizeof buf_) {
                off = c.args.back() - base;
            } else {
                continue; // a local of the library
            }
            ASSERT_LE(off + width, r.size) << "written outside the record";
            for (std::size_t i = off; i < off + width; ++i) covered[i] = true;
        }
        for (std::size_t i = 0; i < sizeof buf_; ++i) {
            if (!covered[i]) {
                ASSERT_EQ(buf_[i], 0xee) << "byte " << i;
            }
        }
        EXPECT_TRUE(lines().empty());
    }
}

// Each field has its own value: the functions together read or write every
// value the device knows.
TEST_F(Jobs, EveryValueTheDeviceKnowsIsReadOrWrittenBySomeFunction) {
    for (const JobReader &r : kJobReaders) ASSERT_EQ(r.run(kJob, buf_), ENTMLST_OK) << r.name;
    ENTMLSTSENDRESULT entries[4];
    int32_t count = 0;
    for (int32_t kind :
         {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL, ENTMLST_LINK_KIND_0100, ENTMLST_LINK_KIND_0200})
        ASSERT_EQ(entMLSTGetSendJobResult(kJob, kind, 4, entries, &count), ENTMLST_OK);
    const ENTMLSTMAILATTACH attach{1, 2, 3};
    ASSERT_EQ(entMLSTSetMailAttach(kJob, &attach), ENTMLST_OK);
    std::set<uint64_t> used;
    for (const auto &c : serviceCalls())
        if (c.service == S::meSVCGetCurrent || c.service == S::mectSVCGetCurrent ||
            c.service == S::meSVCSetCurrent)
            used.insert(c.args[c.service == S::meSVCSetCurrent ? 2 : 1]);
    const auto known = devsim::valueIds();
    EXPECT_EQ(used, std::set<uint64_t>(known.begin(), known.end()));
    // ... and has one name of its own, which stands for it.
    std::set<std::string> names;
    for (uint32_t id : known) {
        const auto name = devsim::valueName(id);
        ASSERT_TRUE(name && names.insert(*name).second) << std::hex << id;
        EXPECT_EQ(devsim::valueByName(*name), id) << *name;
    }
}

TEST_F(Jobs, AFailedReadLeavesTheLaterFieldsAsTheCallerHadThem) {
    simtest::failCall(S::meSVCGetCurrent, 4, 0xbad);
    ENTMLSTIPJOB ip = filled<ENTMLSTIPJOB>(0xee);
    EXPECT_EQ(entMLSTGetIpJob(kJob, &ip), ENTMLST_ERR_JOB_GET);
    const auto raw = bytesOf(ip);
    EXPECT_NE(raw[0x000], 0xee);
    EXPECT_TRUE(std::all_of(raw.begin() + 0x280, raw.end(), [](uint8_t b) { return b == 0xee; }));

    simtest::failCall(S::mectSVCGetParentLink, 1, 0xbad);
    ip = filled<ENTMLSTIPJOB>(0xee);
    EXPECT_EQ(entMLSTGetIpJob(kJob, &ip), ENTMLST_ERR_PARENT_LINK);
    EXPECT_EQ(bytesOf(ip.user_info1), devsim::Bytes(4, 0xee));
    EXPECT_EQ(bytesOf(ip.user_info2), devsim::Bytes(4, 0xee));
}

// The failure texts differ in how they print IDs (the fault sweep checks
// the start of each text, its ID and code).
TEST_F(Jobs, FailuresAreReportedWithTheirOwnIdFormat) {
    ENTMLSTIPJOB ip;
    const ENTMLSTMAILATTACH attach{1, 2, 3};
    struct Case {
        const char *what;
        S service;
        unsigned nth;
        bool write_first;
        std::function<uint32_t()> run;
        uint32_t result;
        std::string line;
    };
    const std::string get = "<Error>:meSVCGetCurrent() is Failed!!!. ";
    const Case cases[] = {
        {"IP job value", S::meSVCGetCurrent, 1, false, [&] { return entMLSTGetIpJob(kJob, &ip); },
         ENTMLST_ERR_JOB_GET, get + "ipjobid=0x1a,id=0x317800,ret=0xbad\n"},
        {"parent value", S::meSVCGetCurrent, 9, false, [&] { return entMLSTGetIpJob(kJob, &ip); },
         ENTMLST_ERR_JOB_GET, get + "userjobid=abcd1234,id=182000,ret=0xbad\n"},
        {"parent link", S::mectSVCGetParentLink, 1, false, [&] { return entMLSTGetIpJob(kJob, &ip); },
         ENTMLST_ERR_PARENT_LINK, "<Error>:mectSVCGetParentLink() is Failed!!!. id=1a,ret=0xbad\n"},
        {"chosen value", S::meSVCGetCurrent, 1, false,
         [&] { return entMLSTGetIpJobRst(kJob, 0x00318002, buf_); }, ENTMLST_ERR_JOB_GET,
         get + "ipjobid=0x1a,id=318002,ret=0xbad\n"},
        {"image link, nothing written", S::mectSVCGetChildLink, 1, false,
         [&] { return entMLSTGetFaxImgDataPath(kJob, buf_); }, ENTMLST_ERR_CHILD_LINK,
         "<Error>:mectSVCGetChildLink() is Failed!!!. ipjobid=0x1a,linkid=0x0,ret=0xbad\n"},
        {"image link, written", S::mectSVCGetChildLink, 1, true,
         [&] { return entMLSTGetFaxImgDataPath(kJob, buf_); }, ENTMLST_ERR_CHILD_LINK,
         "<Error>:mectSVCGetChildLink() is Failed!!!. ipjobid=0x1a,linkid=0x4001,ret=0xbad\n"},
        {"image path", S::meSVCGetCurrent, 1, false, [&] { return entMLSTGetFaxImgDataPath(kJob, buf_); },
         ENTMLST_ERR_JOB_GET, get + "ipjobid=0x1a,linkid=0x4001,ret=0xbad\n"},
        {"mail attachment", S::meSVCSetCurrent, 2, false, [&] { return entMLSTSetMailAttach(kJob, &attach); },
         ENTMLST_ERR_JOB_SET, "<Error>:meSVCSetCurrent() is Failed!!!. ipjobid=0x1a,id=0x460001,ret=0xbad\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        devsim::reset();
        jobWorld();
        simtest::failCall(c.service, c.nth, 0xbad, c.write_first);
        EXPECT_EQ(c.run(), c.result);
        EXPECT_EQ(lines(), std::vector<std::string>{c.line});
    }
}

TEST_F(Jobs, MailAttachmentWritesEveryValueOnEveryCall) {
    const ENTMLSTMAILATTACH rec{0x01, 0x02, 0x03};
    const auto sent = bytesOf(rec);
    for (int call = 1; call <= 2; ++call) {
        ASSERT_EQ(entMLSTSetMailAttach(kJob, &rec), ENTMLST_OK);
        auto writes = simtest::calls(S::meSVCSetCurrent);
        ASSERT_EQ(writes.size(), 3u * call);
        for (const auto &w : writes) {
            EXPECT_EQ(w.args[0], ENTMLST_MODULE_ID);
            EXPECT_EQ(w.args[1], kJob);
            const std::size_t off = w.args[3] - reinterpret_cast<uintptr_t>(&rec);
            EXPECT_EQ(devsim::jobValue(kJob, uint32_t(w.args[2]))->at(0), sent.at(off));
        }
    }
    EXPECT_EQ(bytesOf(rec), sent);
}

TEST_F(Jobs, ANullRecordIsRefusedBeforeAnyServiceCall) {
    std::vector<JobReader> all(std::begin(kJobReaders), std::end(kJobReaders));
    all.push_back({"SetMailAttach", 0, [](uint32_t j, void *r) {
                       return entMLSTSetMailAttach(j, static_cast<ENTMLSTMAILATTACH *>(r));
                   }});
    for (const JobReader &r : all) {
        SCOPED_TRACE(r.name);
        devsim::reset();
        EXPECT_EQ(r.run(kJob, nullptr), ENTMLST_ERR_PARAM);
        EXPECT_EQ(lines(), std::vector<std::string>{"<Error>:param is Failed!\n"});
        EXPECT_TRUE(serviceCalls().empty());
    }
}

TEST_F(Jobs, TheFaxImagePathIsTheImageLinksJobBox) {
    ASSERT_TRUE(devsim::putJobValue(kImageLink, 0x00d17000, {'/', 'i', 'm', 'g'}));
    std::memset(buf_, 0xee, sizeof buf_);
    ASSERT_EQ(entMLSTGetFaxImgDataPath(kJob, buf_), ENTMLST_OK);
    EXPECT_STREQ(reinterpret_cast<const char *>(buf_), "/img");
}

TEST_F(Jobs, JobIdZeroGoesToTheServices) {
    devsim::createJob(0);
    uint8_t box[ENTMLST_JOB_PATH_SIZE];
    EXPECT_EQ(entMLSTGetIpJobBox(0, box), ENTMLST_OK);
    EXPECT_EQ(simtest::calls(S::meSVCGetCurrent).at(0).args[0], 0u);
}

// ---- send results -------------------------------------------------------------

struct Child {
    std::string name;
    uint8_t status;
    std::string fallback = ""; // the fax fallback name
};

class SendResults : public DeviceTest {
protected:
    ENTMLSTSENDRESULT entries_[4];
    int32_t count_ = 77;

    void SetUp() override {
        DeviceTest::SetUp();
        std::memset(entries_, 0xee, sizeof entries_);
        devsim::createJob(kJob);
    }
    // Children of kind fax (names 0x00716800, status 0x00860004) or mail.
    static void addChildren(int32_t kind, const std::vector<Child> &children) {
        const bool fax = kind == ENTMLST_LINK_KIND_FAX;
        for (std::size_t i = 0; i < children.size(); ++i) {
            const uint32_t link = 0x500 + uint32_t(i);
            devsim::addChildLink(kJob, kind, link);
            const Child &c = children[i];
            ASSERT_TRUE(
                devsim::putJobValue(link, fax ? 0x00716800 : 0x00617800, {c.name.begin(), c.name.end()}));
            ASSERT_TRUE(devsim::putJobValue(link, fax ? 0x00860004 : 0x00660000, {c.status}));
            ASSERT_TRUE(devsim::putJobValue(link, 0x00817001, {c.fallback.begin(), c.fallback.end()}));
        }
    }
    uint32_t list(int32_t kind, int32_t capacity) {
        return entMLSTGetSendJobResult(kJob, kind, capacity, entries_, &count_);
    }
    static devsim::Bytes name128(const std::string &s) {
        devsim::Bytes b(s.begin(), s.end());
        b.resize(128, 0);
        return b;
    }
    void TearDown() override {
        EXPECT_TRUE(lines().empty()) << "the send-result listing reports nothing";
        DeviceTest::TearDown();
    }
};

// Missing outputs and an unknown kind: the count cleared, no service called.
TEST_F(SendResults, RefusedCallsClearTheCount) {
    addChildren(0x40, {{"a", 1}});
    EXPECT_EQ(list(0x40, 4), ENTMLST_SENDRESULT_BAD_KIND);
    EXPECT_EQ(count_, 0);
    count_ = 77;
    EXPECT_EQ(entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 4, entries_, nullptr), ENTMLST_ERR_PARAM);
    EXPECT_EQ(entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 4, nullptr, &count_), ENTMLST_ERR_PARAM);
    EXPECT_EQ(count_, 0);
    EXPECT_TRUE(serviceCalls().empty());
}

TEST_F(SendResults, NoChildrenOrTooManyListNothing) {
    EXPECT_EQ(list(ENTMLST_LINK_KIND_0100, 4), ENTMLST_OK);
    EXPECT_EQ(count_, 0);
    addChildren(ENTMLST_LINK_KIND_MAIL, {{"a", 1}, {"b", 2}, {"c", 3}});
    simtest::clearCalls();
    count_ = 77;
    EXPECT_EQ(list(ENTMLST_LINK_KIND_MAIL, 2), ENTMLST_OK);
    EXPECT_EQ(count_, 0);
    EXPECT_EQ(servicesOf(serviceCalls()), std::vector<S>{S::mectGetChildLinkNum});
    EXPECT_EQ(bytesOf(entries_), devsim::Bytes(sizeof entries_, 0xee));
}

TEST_F(SendResults, EntriesAre129BytesApartWithZeroFilledNames) {
    addChildren(ENTMLST_LINK_KIND_MAIL, {{"first", 1}, {"second", 2}, {std::string(128, 'x'), 3}});
    EXPECT_EQ(list(ENTMLST_LINK_KIND_MAIL, 3), ENTMLST_OK);
    EXPECT_EQ(count_, 3);
    const auto raw = bytesOf(entries_);
    const std::string names[] = {"first", "second", std::string(128, 'x')};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(devsim::Bytes(raw.begin() + 129 * i, raw.begin() + 129 * i + 128), name128(names[i]));
        EXPECT_EQ(raw[129 * i + 128], i + 1);
    }
    EXPECT_EQ(raw[129 * 3], 0xee); // the fourth entry stays as it was
    EXPECT_EQ(serviceCalls().size(), 1u + 3 * 3);
}

TEST_F(SendResults, OnlyFaxChildrenWithAnEmptyNameGetTheFallbackName) {
    addChildren(ENTMLST_LINK_KIND_FAX,
                {{"", 1, "alt"}, {"", 2, ""}, {"own", 3, "unused"}, {"o", 4, "unused"}});
    EXPECT_EQ(list(ENTMLST_LINK_KIND_FAX, 4), ENTMLST_OK);
    const char *names[] = {"alt", "", "own", "o"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bytesOf(entries_[i].name), name128(names[i])) << i;
    EXPECT_EQ(simtest::callCount(S::mectSVCGetCurrent), 4u * 2 + 2);

    devsim::reset();
    devsim::createJob(kJob);
    addChildren(ENTMLST_LINK_KIND_MAIL, {{"", 1, "alt"}});
    EXPECT_EQ(list(ENTMLST_LINK_KIND_MAIL, 4), ENTMLST_OK);
    EXPECT_EQ(bytesOf(entries_[0].name), name128(""));
    EXPECT_EQ(simtest::callCount(S::mectSVCGetCurrent), 2u);
}

// An entry is written only once all of its child's reads succeeded; the
// service's own code comes back unchanged.
TEST_F(SendResults, AFailingReadReturnsTheServiceCodeAndLeavesItsEntryAlone) {
    struct Case {
        S service;
        unsigned nth;
        std::size_t untouched_from;
    };
    const Case cases[] = {
        {S::mectGetChildLinkNum, 1, 0},
        {S::mectGetChildLink, 2, 1},
        {S::mectSVCGetCurrent, 3, 1}, // status of the second child
        {S::mectSVCGetCurrent, 2, 0}, // name of the first, after its status was read
    };
    for (const Case &c : cases) {
        for (bool write_first : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << devsim::serviceName(c.service) << " #" << c.nth << write_first);
            devsim::reset();
            devsim::createJob(kJob);
            addChildren(ENTMLST_LINK_KIND_MAIL, {{"a", 1}, {"b", 2}, {"c", 3}});
            std::memset(entries_, 0xee, sizeof entries_);
            simtest::failCall(c.service, c.nth, 0x12345678, write_first);
            EXPECT_EQ(list(ENTMLST_LINK_KIND_MAIL, 4), 0x12345678u);
            EXPECT_EQ(count_, c.service == S::mectGetChildLinkNum ? 0 : 3);
            for (std::size_t i = 0; i < 4; ++i) {
                const bool written = i < c.untouched_from;
                EXPECT_EQ(bytesOf(entries_[i]) != devsim::Bytes(129, 0xee), written) << "entry " << i;
            }
        }
    }
}

} // namespace
