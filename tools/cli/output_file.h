// output_file.h - writing a command's output to a file the user named.
#pragma once

#include <string>

namespace entmlst {

// Writes text to path whole, or not at all: through a temporary file in the
// same folder, renamed over a missing path or a regular file only. A
// symlink is followed to the regular file it names, and stays, only when it
// belongs to the user (or root) in a folder others cannot write to: a link
// planted in a shared folder never redirects the write. Anything else that
// is there (a device, FIFO, socket or folder) is refused and left as it
// was. A private file is readable by its owner only.
// Throws UsageError for a target it refuses, OutputError when writing fails.
void writeFileWhole(const std::string &path, const std::string &text, bool private_file);

} // namespace entmlst
