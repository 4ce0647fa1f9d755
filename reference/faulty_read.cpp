// Preloaded (LD_PRELOAD) into a program under test to make one file fail while
// it is read: reads of the file FAULTY_READ_PATH fail with EIO from offset
// FAULTY_READ_AT on, and every read of it is first interrupted once (EINTR),
// as reads from a slow device may be. With FAULTY_READ_WAIT set, the reads
// from that offset on wait for data that never comes instead, as those of
// /proc/kmsg do: on a non-blocking descriptor they fail with EAGAIN, on a
// blocking one they wait FAULTY_READ_WAIT milliseconds (a bounded stand-in for
// waiting for good) and then fail with EAGAIN.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

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
        if (const char* wait = std::getenv("FAULTY_READ_WAIT"); wait != nullptr) {
            if ((::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::atoll(wait)));
            }
            errno = EAGAIN;
            return -1;
        }
        errno = EIO;
        return -1;
    }
    return kReal(fd, buffer, std::min(count, static_cast<size_t>(failAt - offset)));
}
