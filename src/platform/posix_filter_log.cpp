// The filter log on platforms other than Windows: the file named by
// TEKO32_FILTER_LOG, else teko32/filter.log in the caller's own state folder
// ($XDG_STATE_HOME, else ~/.local/state), whose missing folders are made
// private (0700) and the file 0600. Nothing is ever made in a shared folder.
//
// The library often runs as root, so the file is opened without following a
// link (nor, on the way to the default file, a linked folder) and without
// blocking, and the line is written only into a regular file that belongs
// to the caller and has no other name. Otherwise the line is dropped.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/os.h"
#include "platform/posix_descriptor.h"

namespace teko::platform::os {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr int kFileFlags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr const char* kFileName = "filter.log";

// An absolute path from the environment, or nullptr.
const char* AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

// The folder `name` inside `parent`, made (0700) when it is missing; never a link.
Descriptor OpenPrivateFolder(const Descriptor& parent, const char* name) {
    if (!parent.valid()) return Descriptor();
    if (::mkdirat(parent.get(), name, kFolderMode) != 0 && errno != EEXIST) return Descriptor();
    return Descriptor(::openat(parent.get(), name, kFolderFlags));
}

// The folder that holds the default file: $XDG_STATE_HOME/teko32, else
// $HOME/.local/state/teko32. Invalid when neither is set (as an absolute path).
Descriptor OpenDefaultFolder() {
    if (const char* state = AbsoluteFromEnvironment("XDG_STATE_HOME")) {
        return OpenPrivateFolder(Descriptor(::open(state, O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                                 "teko32");
    }
    const char* home = AbsoluteFromEnvironment("HOME");
    if (home == nullptr) return Descriptor();
    Descriptor folder(::open(home, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const char* name : {".local", "state", "teko32"}) {
        folder = OpenPrivateFolder(folder, name);
    }
    return folder;
}

// Opens `name` (relative to `folder`, or absolute) for appending, and keeps it
// only when it is a regular file of the caller's with a single name.
Descriptor OpenLogFile(int folder, const char* name) {
    // Something other than a regular file is not even opened: opening a
    // device can have effects of its own.
    struct stat before {};
    if (::fstatat(folder, name, &before, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(before.st_mode)) {
        return Descriptor();
    }
    // O_NONBLOCK: a FIFO swapped in meanwhile fails to open or is refused
    // below; it never stops the caller.
    Descriptor file(::openat(folder, name, kFileFlags, kFileMode));
    if (!file.valid()) return file;
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_uid != ::geteuid() || opened.st_nlink != 1) {
        return Descriptor();
    }
    return file;
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

void AppendFilterLogLine(std::string_view line) {
    Descriptor file;
    if (const char* path = std::getenv("TEKO32_FILTER_LOG"); path != nullptr && *path != '\0') {
        file = OpenLogFile(AT_FDCWD, path);
    } else {
        const Descriptor folder = OpenDefaultFolder();
        if (folder.valid()) file = OpenLogFile(folder.get(), kFileName);
    }
    if (file.valid()) WriteAll(file.get(), line);
}

}  // namespace teko::platform::os
