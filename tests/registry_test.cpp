// registry_test.cpp - the registry lists what the header declares: every
// exported function once, and no other.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "functions.h"

namespace {

namespace reg = corvel::registry;

// Names declared as "uint32_t name(" at the start of a line of the header.
std::set<std::string> declared() {
    std::ifstream in(CORVEL_PUBLIC_HEADER);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    static const std::regex decl(R"(^uint32_t\s+(\w+)\s*\()", std::regex::multiline);
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), decl); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

TEST(Registry, ListsEveryDeclaredFunctionOnce) {
    std::map<std::string, int> listed;
    for (const char *name : reg::kFunctionNames) ++listed[name];
    for (const auto &[name, times] : listed) EXPECT_EQ(times, 1) << name << " listed more than once";

    const std::set<std::string> header = declared();
    ASSERT_EQ(header.size(), 32u) << "the header should declare the 32 exported functions";
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
    EXPECT_EQ(code.size(), reg::kGroupCount);
}

} // namespace
