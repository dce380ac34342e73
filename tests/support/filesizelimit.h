#pragma once

// A disk that fills up, without privileges: while a FileSizeLimit lives, a write that would make a
// file of this process larger than the limit fails (EFBIG, where a full disk gives ENOSPC), at the
// same place: a small file that Qt holds in its buffer fails only when it is written out.

#include <csignal>
#include <sys/resource.h>

namespace vorlan::test {

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : oldHandler(std::signal(SIGXFSZ, SIG_IGN)) { // else the write kills
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit old{};
    void (*oldHandler)(int);
};

} // namespace vorlan::test
