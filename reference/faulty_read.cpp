// Preloaded (LD_PRELOAD) into a program under test to make one file fail while
// it is read: reads of the file FAULTY_READ_PATH fail with EIO from offset
// FAULTY_READ_AT on, and every read of it is first interrupted once (EINTR),
// as reads from a slow device may be.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

using TReadFunction = ssize_t (*)(int, void*, size_t);

bool IsTarget(int fd) {
    const char* path = std::getenv("FAULTY_READ_PATH");
    struct stat target {};
    struct stat opened {};
    return path != nullptr && ::stat(path, &target) == 0 && ::fstat(fd, &opened) == 0 &&
           target.st_dev == opened.st_dev && target.st_ino == opened.st_ino;
}

} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static const auto kReal = reinterpret_cast<TReadFunction>(::dlsym(RTLD_NEXT, "read"));
    static bool interrupted = false;
    if (!IsTarget(fd)) {
        return kReal(fd, buffer, count);
    }
    if (!interrupted) {
        interrupted = true;
        errno = EINTR;
        return -1;
    }
    interrupted = false;
    const char* at = std::getenv("FAULTY_READ_AT");
    const off_t failAt = at != nullptr ? std::strtoll(at, nullptr, 10) : 0;
    const off_t offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset < 0 || offset >= failAt) {
        errno = EIO;
        return -1;
    }
    return kReal(fd, buffer, std::min(count, static_cast<size_t>(failAt - offset)));
}
