// help_pages.h - what the command line says about itself, made from the
// command line the table built, so that the help, the man page and the
// shell completion cannot drift apart.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace entmlst {

// entmlst --version: the tool, the library's soname, the device's schema.
std::string versionText(const std::string &device);
// entmlst(1) in roff (entmlst --help-man); under each command only what
// its help says of it alone.
std::string manPage(const CLI::App &app, const std::map<const CLI::App *, std::string> &own_footer);
// The man page's sections on the formats and on the environment.
extern const char *const kManFormats;
extern const char *const kManEnvironment;
// A bash completion script (entmlst --help-completion): commands, options,
// setting groups and their field names.
std::string bashCompletion(const CLI::App &app);

} // namespace entmlst
