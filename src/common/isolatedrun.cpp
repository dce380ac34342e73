#include "common/isolatedrun.h"

#include <QDeadlineTimer>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vorlan {

#ifdef Q_OS_LINUX

namespace {

/// Moves all n bytes at p through io(at, left): a read or a write of up to `left` bytes at `at`
/// that returns how many it moved. An interrupted call is made again; false when io fails or
/// comes to an end first.
template <typename Byte, typename Io> bool transferAll(Byte* p, size_t n, Io io) {
    while (n > 0) {
        const ssize_t moved = io(p, n);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) return false;
        p += moved;
        n -= size_t(moved);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t n) {
    return transferAll(static_cast<const char*>(data), n,
                       [fd](const char* at, size_t left) { return ::write(fd, at, left); });
}

bool readAll(int fd, void* data, size_t n, const QDeadlineTimer& deadline) {
    return transferAll(static_cast<char*>(data), n, [&](char* at, size_t left) -> ssize_t {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready <= 0) return ready; // an interrupted wait is waited again; none in time ends it
        return ::read(fd, at, left);
    });
}

} // namespace

IsolatedResult runIsolated(const std::function<QByteArray()>& work, int timeoutMs, qsizetype maxAnswer) {
    IsolatedResult result;
    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return result;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return result;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        // A library's own complaints about a damaged file are not for the user's terminal.
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
        bool sent = false;
        try {
            const QByteArray answer = work();
            const qint64 size = answer.size();
            sent = writeAll(pipeEnds[1], &size, sizeof size) &&
                   writeAll(pipeEnds[1], answer.constData(), size_t(size));
        } catch (...) {
        }
        ::_exit(sent ? 0 : 1); // no destructors or exit handlers of the parent's objects here
    }
    ::close(pipeEnds[1]);
    const QDeadlineTimer deadline(timeoutMs);
    qint64 size = -1;
    bool answered = readAll(pipeEnds[0], &size, sizeof size, deadline) && size >= 0 && size <= maxAnswer;
    if (answered) {
        result.answer.resize(size);
        answered = readAll(pipeEnds[0], result.answer.data(), size_t(size), deadline);
    }
    ::close(pipeEnds[0]);
    if (!answered) ::kill(child, SIGKILL);
    int childStatus = 0;
    while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    result.end = answered ? IsolatedEnd::Answered : IsolatedEnd::Failed;
    if (!answered) result.answer.clear();
    return result;
}

SharedPictureMemory::SharedPictureMemory() : m_fd(::memfd_create("vorlan-picture", MFD_CLOEXEC)) {}

SharedPictureMemory::~SharedPictureMemory() {
    if (m_fd >= 0) ::close(m_fd);
}

QImage SharedPictureMemory::writablePicture(int w, int h, QImage::Format f) {
    const qsizetype bytesPerLine = (qsizetype(w) * (f == QImage::Format_Grayscale8 ? 1 : 4) + 3) / 4 * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(h);
    if (m_fd < 0 || ::ftruncate(m_fd, off_t(bytes)) != 0) return QImage();
    void* pixels = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, m_fd, 0);
    if (pixels == MAP_FAILED) return QImage();
    return QImage(static_cast<uchar*>(pixels), w, h, bytesPerLine, f);
}

QImage SharedPictureMemory::picture(int w, int h, qsizetype bytesPerLine, QImage::Format f) {
    const size_t bytes = size_t(bytesPerLine) * size_t(h);
    void* pixels = m_fd < 0 ? MAP_FAILED
                            : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, m_fd, 0);
    if (pixels == MAP_FAILED) return QImage();
    // The picture owns the mapping: it goes when the last copy of the picture goes.
    struct Mapping {
        void* pixels;
        size_t bytes;
    };
    return QImage(
        static_cast<uchar*>(pixels), w, h, bytesPerLine, f,
        [](void* info) {
            const auto* m = static_cast<Mapping*>(info);
            ::munmap(m->pixels, m->bytes);
            delete m;
        },
        new Mapping{pixels, bytes});
}

#else

IsolatedResult runIsolated(const std::function<QByteArray()>&, int, qsizetype) {
    return {};
}
SharedPictureMemory::SharedPictureMemory() = default;
SharedPictureMemory::~SharedPictureMemory() = default;
QImage SharedPictureMemory::writablePicture(int, int, QImage::Format) {
    return QImage();
}
QImage SharedPictureMemory::picture(int, int, qsizetype, QImage::Format) {
    return QImage();
}

#endif

} // namespace vorlan
