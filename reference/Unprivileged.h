// Acting as an unprivileged user for a while, so that a test run by root,
// which may read any file, meets file permissions like everybody else.
#pragma once

#include <sys/types.h>
#include <unistd.h>

namespace verblinka::test_support {

class TUnprivilegedScope {
public:
    TUnprivilegedScope() {
        if (::geteuid() == 0 && ::setegid(kNobody) == 0) {
            [[maybe_unused]] const int ignored = ::seteuid(kNobody);
        }
    }
    ~TUnprivilegedScope() {
        [[maybe_unused]] const int user = ::seteuid(::getuid());
        [[maybe_unused]] const int group = ::setegid(::getgid());
    }
    TUnprivilegedScope(const TUnprivilegedScope&) = delete;
    TUnprivilegedScope& operator=(const TUnprivilegedScope&) = delete;

    // False when root could not give its rights up: permissions do not apply.
    bool Unprivileged() const { return ::geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
};

} // namespace verblinka::test_support
