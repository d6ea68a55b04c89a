// abi_test.cpp - what the dynamic loader sees of the built library: its
// exports, imports, soname and writable data, read from the ELF file itself so
// the same checks run on the build machine and on the device (under qemu); and
// the registry of the functions against the header's prototypes.
#include <gtest/gtest.h>

#include <algorithm>
#include <elf.h>
#include <link.h>

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

// ---- the ELF file, read as this machine lays it out: the test runs where the
// library runs, and a file of another class or byte order is not valid ------

// A sanitizer runtime brings its own libraries, imports and data; the
// library's own exports and soname are unchanged.
#ifdef CORVEL_SANITIZED
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "sanitizer build"
#else
#define SKIP_WHEN_SANITIZED()
#endif

struct Section {
    std::string name;
    ElfW(Shdr) h;
};

struct Symbol {
    std::string name;
    uint8_t bind, type, visibility;
    uint16_t shndx;
};

class Elf {
public:
    explicit Elf(const char *path) : bytes_(readText(path)) {
        if (bytes_.size() < EI_NIDENT || bytes_.compare(0, SELFMAG, ELFMAG) != 0) return;
        is64 = bytes_[EI_CLASS] == ELFCLASS64;
        big = bytes_[EI_DATA] == ELFDATA2MSB;
        if (is64 != (sizeof(void *) == 8) || big != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)) return;
        const auto eh = at<ElfW(Ehdr)>(0);
        machine = eh.e_machine;
        for (std::size_t i = 0; i < eh.e_shnum; ++i)
            sections.push_back({"", at<ElfW(Shdr)>(eh.e_shoff + i * eh.e_shentsize)});
        if (eh.e_shstrndx < sections.size())
            for (Section &sec : sections) sec.name = str(sections[eh.e_shstrndx].h, sec.h.sh_name);
        valid = !sections.empty();
    }

    bool valid = false, is64 = false, big = false;
    uint16_t machine = 0;
    std::vector<Section> sections;

    std::vector<Symbol> dynamicSymbols() const {
        std::vector<Symbol> out;
        for (const auto &[name, s] : sections) {
            if (s.sh_type != SHT_DYNSYM || s.sh_entsize == 0) continue;
            for (uint64_t e = s.sh_offset + s.sh_entsize; e + s.sh_entsize <= s.sh_offset + s.sh_size;
                 e += s.sh_entsize) {
                const auto sym = at<ElfW(Sym)>(e);
                out.push_back({str(sections[s.sh_link].h, sym.st_name), uint8_t(ELF32_ST_BIND(sym.st_info)),
                               uint8_t(ELF32_ST_TYPE(sym.st_info)),
                               uint8_t(ELF32_ST_VISIBILITY(sym.st_other)), sym.st_shndx});
            }
        }
        return out;
    }

    // Strings of the dynamic section's entries with the given tag.
    std::vector<std::string> dynamicStrings(int64_t tag) const {
        std::vector<std::string> out;
        for (const auto &[name, s] : sections) {
            if (s.sh_type != SHT_DYNAMIC) continue;
            for (uint64_t e = s.sh_offset; e + sizeof(ElfW(Dyn)) <= s.sh_offset + s.sh_size;
                 e += sizeof(ElfW(Dyn))) {
                const auto d = at<ElfW(Dyn)>(e);
                if (d.d_tag == DT_NULL) break;
                if (d.d_tag == tag) out.push_back(str(sections[s.sh_link].h, uint32_t(d.d_un.d_val)));
            }
        }
        return out;
    }

private:
    // A T at the offset, or zeros past the end of the file.
    template <typename T>
    T at(uint64_t off) const {
        T v{};
        if (off + sizeof v <= bytes_.size()) std::memcpy(&v, bytes_.data() + off, sizeof v);
        return v;
    }
    std::string str(const ElfW(Shdr) & table, uint32_t off) const {
        const uint64_t p = table.sh_offset + off;
        return p < bytes_.size()
                   ? std::string(bytes_.c_str() + p, strnlen(bytes_.c_str() + p, bytes_.size() - p))
                   : std::string();
    }

    std::string bytes_;
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
    void SetUp() override { ASSERT_TRUE(lib->valid) << libraryFile(); }
    static inline Elf *lib = nullptr;
};

TEST_F(Abi, BuiltForThisMachine) {
    EXPECT_EQ(lib->is64, sizeof(void *) == 8);
    EXPECT_EQ(lib->big, __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
    // Cross-checked against a program built by the same compiler: this test.
    Elf self("/proc/self/exe");
    ASSERT_TRUE(self.valid);
    EXPECT_EQ(lib->machine, self.machine);
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
    for (const auto &[name, s] : lib->sections) {
        const bool own_data = name.rfind(".data", 0) == 0 || name.rfind(".bss", 0) == 0 ||
                              name.rfind(".sdata", 0) == 0 || name.rfind(".sbss", 0) == 0 ||
                              name == ".tbss" || name == ".tdata";
        const bool relro = name.rfind(".data.rel.ro", 0) == 0;
        if (own_data && !relro && (s.sh_flags & SHF_WRITE)) {
            EXPECT_EQ(s.sh_size, 0u) << name << (s.sh_type == SHT_NOBITS ? " (bss)" : "");
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
