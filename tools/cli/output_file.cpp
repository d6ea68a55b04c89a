// output_file.cpp - a file written whole through a temporary file.
#include "cli/output_file.h"

#include "base/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace entmlst {
namespace {

std::string folderOf(const std::string &path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void refuse(const std::string &path, const std::string &why) {
    throw UsageError(path + ": " + why + "; give a new file or a regular file to replace");
}

// The regular file (or free path) the write replaces.
std::string target(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return path;
        throw OutputError(path + ": " + std::strerror(errno));
    }
    if (S_ISREG(st.st_mode)) return path;
    if (!S_ISLNK(st.st_mode)) refuse(path, "not a regular file");
    struct stat folder {};
    if (st.st_uid != ::getuid() && st.st_uid != 0) refuse(path, "a symlink that belongs to another user");
    if (::stat(folderOf(path).c_str(), &folder) != 0 || (folder.st_mode & S_IWOTH))
        refuse(path, "a symlink in a folder others can write to");
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) refuse(path, "a symlink to nothing");
    struct stat named {};
    if (::stat(resolved, &named) != 0 || !S_ISREG(named.st_mode))
        refuse(path, "a symlink to no regular file");
    return resolved;
}

} // namespace

void writeFileWhole(const std::string &path, const std::string &text, bool private_file) {
    const std::string file = target(path);
    std::string tmp = file + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) throw OutputError(path + ": " + std::strerror(errno));
    int err = ::fchmod(fd, private_file ? 0600 : 0644) == 0 ? 0 : errno;
    for (std::size_t done = 0; err == 0 && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            err = errno;
        else if (n == 0)
            err = EIO;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(tmp.c_str(), file.c_str()) != 0) err = errno;
    if (err == 0) return;
    ::unlink(tmp.c_str());
    throw OutputError(path + ": " + std::strerror(err));
}

} // namespace entmlst
