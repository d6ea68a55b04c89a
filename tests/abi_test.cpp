// abi_test.cpp - what the dynamic loader sees of the built library: its
// exports, imports, soname and writable data, read from the ELF file itself so
// the same checks run on the build machine and on the device (under qemu); and
// the registry of the functions against the header's prototypes.
#include <gtest/gtest.h>

#include <algorithm>
#include <elf.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "abi_layout.h"
#include "corvellib.h"
#include "functions.h"

namespace {

std::string readText(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Names declared as "uint32_t name(" at the start of a line of a header.
std::set<std::string> declaredFunctions(const char *header) {
    // A prototype, or a row of a list the prototypes are expanded from.
    static const std::regex decl(R"(^(?:uint32_t\s+(\w+)\s*\(|\s+X\((\w+),))", std::regex::multiline);
    const std::string text = readText(header);
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), decl); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1].matched ? (*it)[1] : (*it)[2]);
    return names;
}

// ---- a minimal ELF reader: both classes, both byte orders (the constants: elf.h) --

// A sanitizer runtime brings its own libraries, imports and data; the
// library's own exports and soname are unchanged.
#ifdef CORVEL_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#define SKIP_WHEN_SANITIZED()                                                                                \
    if (kSanitized) GTEST_SKIP() << "sanitizer build"

struct Section {
    std::string name;
    uint32_t type = 0;
    uint64_t flags = 0, offset = 0, size = 0, entsize = 0;
    uint32_t link = 0;
};

struct Symbol {
    std::string name;
    uint8_t bind = 0, type = 0, visibility = 0;
    uint16_t shndx = 0;
};

class Elf {
public:
    explicit Elf(const char *path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
        if (bytes_.size() < 52 || std::memcmp(bytes_.data(),
                                              "\x7f"
                                              "ELF",
                                              4) != 0)
            return;
        is64_ = bytes_[4] == 2;
        big_ = bytes_[5] == 2;
        machine_ = static_cast<uint16_t>(u(18, 2));
        const uint64_t shoff = is64_ ? u(0x28, 8) : u(0x20, 4);
        const uint64_t shentsize = u(is64_ ? 0x3a : 0x2e, 2);
        const uint64_t shnum = u(is64_ ? 0x3c : 0x30, 2);
        const uint64_t shstrndx = u(is64_ ? 0x3e : 0x32, 2);
        std::vector<uint32_t> names;
        for (uint64_t i = 0; i < shnum; ++i) {
            const uint64_t h = shoff + i * shentsize;
            Section s;
            names.push_back(static_cast<uint32_t>(u(h, 4)));
            s.type = static_cast<uint32_t>(u(h + 4, 4));
            // flags, address, offset, size: a word each; link, info (4 bytes); align, entsize.
            const unsigned w = is64_ ? 8 : 4;
            s.flags = u(h + 8, w);
            s.offset = u(h + 8 + 2 * w, w);
            s.size = u(h + 8 + 3 * w, w);
            s.link = static_cast<uint32_t>(u(h + 8 + 4 * w, 4));
            s.entsize = u(h + 16 + 5 * w, w);
            sections_.push_back(s);
        }
        if (shstrndx < sections_.size())
            for (std::size_t i = 0; i < sections_.size(); ++i)
                sections_[i].name = str(sections_[shstrndx], names[i]);
        valid_ = !sections_.empty();
    }

    bool valid() const { return valid_; }
    bool is64() const { return is64_; }
    bool bigEndian() const { return big_; }
    uint16_t machine() const { return machine_; }
    const std::vector<Section> &sections() const { return sections_; }

    std::vector<Symbol> dynamicSymbols() const {
        std::vector<Symbol> out;
        for (const auto &s : sections_) {
            if (s.type != SHT_DYNSYM || s.entsize == 0) continue;
            for (uint64_t e = s.offset + s.entsize; e + s.entsize <= s.offset + s.size; e += s.entsize) {
                Symbol sym;
                const uint64_t info = is64_ ? e + 4 : e + 12;
                sym.name = str(sections_[s.link], static_cast<uint32_t>(u(e, 4)));
                sym.bind = bytes_[info] >> 4;
                sym.type = bytes_[info] & 0xf;
                sym.visibility = bytes_[info + 1] & 3;
                sym.shndx = static_cast<uint16_t>(u(info + 2, 2));
                out.push_back(sym);
            }
        }
        return out;
    }

    // Strings of the dynamic section's entries with the given tag.
    std::vector<std::string> dynamicStrings(uint64_t tag) const {
        std::vector<std::string> out;
        const uint64_t w = is64_ ? 8 : 4;
        for (const auto &s : sections_) {
            if (s.type != SHT_DYNAMIC) continue;
            for (uint64_t e = s.offset; e + 2 * w <= s.offset + s.size; e += 2 * w) {
                const uint64_t t = u(e, w);
                if (t == 0) break;
                if (t == tag) out.push_back(str(sections_[s.link], static_cast<uint32_t>(u(e + w, w))));
            }
        }
        return out;
    }

private:
    uint64_t u(uint64_t at, unsigned width) const {
        if (at + width > bytes_.size()) return 0;
        uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v |= uint64_t(bytes_[at + i]) << (8 * (big_ ? width - 1 - i : i));
        return v;
    }
    std::string str(const Section &table, uint32_t at) const {
        const uint64_t p = table.offset + at;
        if (p >= bytes_.size()) return {};
        const auto *begin = reinterpret_cast<const char *>(bytes_.data() + p);
        return std::string(begin, strnlen(begin, bytes_.size() - p));
    }

    std::vector<uint8_t> bytes_;
    std::vector<Section> sections_;
    bool valid_ = false, is64_ = false, big_ = false;
    uint16_t machine_ = 0;
};

// The library of this build, or another copy of it (e.g. an installed one)
// named by CORVEL_ABI_LIBRARY.
const char *libraryFile() {
    const char *other = std::getenv("CORVEL_ABI_LIBRARY");
    return other && *other ? other : CORVEL_LIBRARY_FILE;
}

class Abi : public ::testing::Test {
protected:
    static void SetUpTestSuite() { lib = new Elf(libraryFile()); }
    static void TearDownTestSuite() { delete lib; }
    void SetUp() override { ASSERT_TRUE(lib->valid()) << libraryFile(); }
    static inline Elf *lib = nullptr;
};

TEST_F(Abi, BuiltForThisMachine) {
    EXPECT_EQ(lib->is64(), sizeof(void *) == 8);
    EXPECT_EQ(lib->bigEndian(), __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
    // Cross-checked against a program built by the same compiler: this test.
    Elf self("/proc/self/exe");
    ASSERT_TRUE(self.valid());
    EXPECT_EQ(lib->machine(), self.machine());
}

TEST_F(Abi, SonameCarriesTheMajorVersion) {
    EXPECT_EQ(lib->dynamicStrings(DT_SONAME), std::vector<std::string>{"libcorvellib.so.1"});
}

TEST_F(Abi, NeedsOnlyLibc) {
    SKIP_WHEN_SANITIZED();
    const auto needed = lib->dynamicStrings(DT_NEEDED);
    ASSERT_FALSE(needed.empty());
    for (const auto &n : needed) EXPECT_EQ(n.rfind("libc.so.", 0), 0u) << n;
}

// A declared function counts only as a global function of default visibility
// in one of the file's sections; every other defined symbol is extra, whatever
// its kind (a version node's name, data, common, TLS, weak, hidden, a named
// local). Only the unnamed section symbols some linkers add for their own use
// (PowerPC's keeps one for .text) are no one's to look up and pass.
TEST_F(Abi, ExportsExactlyTheDeclaredFunctions) {
    const auto declared = declaredFunctions(CORVEL_PUBLIC_HEADER);
    ASSERT_EQ(declared.size(), corvel::registry::kFunctionCount) << "the registry lists them all";
    std::set<std::string> found;
    std::vector<std::string> extra, missing;
    for (const auto &s : lib->dynamicSymbols()) {
        if (s.shndx == SHN_UNDEF || (s.bind == STB_LOCAL && s.type == STT_SECTION && s.name.empty()))
            continue;
        const bool function = s.bind == STB_GLOBAL && s.type == STT_FUNC && s.visibility == STV_DEFAULT &&
                              s.shndx != SHN_ABS && s.shndx != SHN_COMMON;
        if (!function || !declared.count(s.name) || !found.insert(s.name).second)
            extra.push_back(s.name.empty() ? "(unnamed)" : s.name);
    }
    for (const auto &name : declared)
        if (!found.count(name)) missing.push_back(name);
    EXPECT_EQ(extra, std::vector<std::string>{});
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST_F(Abi, ImportsOnlyDeviceServicesAndLibc) {
    SKIP_WHEN_SANITIZED();
    auto allowed = declaredFunctions(CORVEL_DEVICE_SERVICES_HEADER);
    ASSERT_FALSE(allowed.empty());
    for (const char *n : {"memcmp", "memcpy", "memset", "strlen", "usleep", "__cxa_finalize",
                          "__gmon_start__", "__stack_chk_guard", "__stack_chk_fail"})
        allowed.insert(n);
#ifdef __clang__
    // Clang calls libc's bcmp for a memcmp whose result is only compared with 0.
    allowed.insert("bcmp");
#endif
    std::vector<std::string> stray;
    std::size_t imports = 0;
    for (const auto &s : lib->dynamicSymbols()) {
        if (s.shndx != SHN_UNDEF || s.name.empty()) continue;
        ++imports;
        if (!allowed.count(s.name) && s.name.rfind("_ITM_", 0) != 0) stray.push_back(s.name);
    }
    EXPECT_GT(imports, 0u) << "the device services are imported";
    EXPECT_EQ(stray, std::vector<std::string>{});
}

// The library's only data are constant tables: any writable section is the
// loader's (GOT, PLT, dynamic section), never variables of its own.
TEST_F(Abi, HasNoWritableDataOfItsOwn) {
    SKIP_WHEN_SANITIZED();
    for (const auto &s : lib->sections()) {
        const bool own_data = s.name.rfind(".data", 0) == 0 || s.name.rfind(".bss", 0) == 0 ||
                              s.name.rfind(".sdata", 0) == 0 || s.name.rfind(".sbss", 0) == 0 ||
                              s.name == ".tbss" || s.name == ".tdata";
        const bool relro = s.name.rfind(".data.rel.ro", 0) == 0;
        if (own_data && !relro && (s.flags & SHF_WRITE)) {
            EXPECT_EQ(s.size, 0u) << s.name << (s.type == SHT_NOBITS ? " (bss)" : "");
        }
    }
}

// ---- the registry lists what the header declares ------------------------------

TEST(Registry, ListsEveryDeclaredFunctionOnce) {
    std::map<std::string, int> listed;
    for (const char *name : corvel::registry::kFunctionNames) ++listed[name];
    for (const auto &[name, times] : listed) EXPECT_EQ(times, 1) << name << " listed more than once";
    const std::set<std::string> header = declaredFunctions(CORVEL_PUBLIC_HEADER);
    for (const std::string &name : header)
        EXPECT_TRUE(listed.count(name)) << name << " missing from the registry";
    for (const auto &[name, times] : listed) EXPECT_TRUE(header.count(name)) << name << " not in the header";
}

TEST(Registry, GroupNamesAreDistinct) {
    std::set<std::string> code, tool;
#define NAMES(Name, tool_name, ...)                                                                          \
    EXPECT_TRUE(code.insert(#Name).second) << #Name;                                                         \
    EXPECT_TRUE(tool.insert(tool_name).second) << tool_name;
    ENTMLST_SETTING_GROUPS(NAMES)
#undef NAMES
    EXPECT_EQ(code.size(), corvel::registry::kGroupCount);
}

} // namespace

// ---- the public header in a C program ---------------------------------------

namespace {

// The header's layout checks run in C as well when abi_layout.c builds.
TEST(Layout, CProgramsBuildWithTheHeaderAndCallTheLibrary) {
    EXPECT_EQ(corvel_c_get_host_buffer(nullptr), ENTMLST_ERR_PARAM);
}

} // namespace
