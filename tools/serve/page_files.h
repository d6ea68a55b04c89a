// page_files.h - serve's page, compiled into the tool (cmake/embed-page.cmake
// makes the table from tools/serve/page).
#pragma once

#include <span>
#include <string_view>

namespace entmlst {

struct PageFile {
    const char *path; // as requested: "/", "/page.js"
    const char *type; // its Content-Type
    std::string_view body;
};

std::span<const PageFile> pageFiles();

} // namespace entmlst
