#pragma once

// Work that may crash or hang (a library reading a hostile file) run in a forked copy of this
// process, so that its death costs only the copy. The copy answers with bytes through a pipe;
// large results go through memory shared with it. Linux only: elsewhere runIsolated() reports
// NotStarted and the caller does the work itself.

#include <QByteArray>
#include <QImage>
#include <functional>

namespace vorlan {

/// How an isolated run ended.
enum class IsolatedEnd {
    Answered,   ///< the copy sent its whole answer
    Failed,     ///< the copy died, sent nothing or too much, or ran past the time limit
    NotStarted  ///< no copy could be made; nothing ran
};

struct IsolatedResult {
    IsolatedEnd end = IsolatedEnd::NotStarted;
    QByteArray answer; ///< what the copy sent, when Answered
};

/// Runs work in a forked copy of this process with its standard error silenced, and waits at
/// most timeoutMs milliseconds for its answer (the copy is killed after that). The copy ends
/// without running any destructor or exit handler of this process's objects. At most maxAnswer
/// bytes are accepted.
IsolatedResult runIsolated(const std::function<QByteArray()>& work, int timeoutMs,
                           qsizetype maxAnswer = 65536);

/// Memory that a forked copy fills and this process then reads, without a copy of the bytes.
/// Made before runIsolated(); the copy calls writablePicture(), this process picture().
class SharedPictureMemory {
  public:
    SharedPictureMemory();
    ~SharedPictureMemory();
    SharedPictureMemory(const SharedPictureMemory&) = delete;
    SharedPictureMemory& operator=(const SharedPictureMemory&) = delete;

    /// False when no shared memory could be made (the caller then works without isolation).
    bool valid() const { return m_fd >= 0; }
    /// In the copy: a picture of w x h pixels (Grayscale8 or 32-bit format f) whose pixels lie
    /// in the shared memory; a null picture when the memory cannot be had.
    QImage writablePicture(int w, int h, QImage::Format f);
    /// Here, after the copy has answered: the picture it wrote, with the geometry it reported.
    /// The picture owns the mapping; a null picture when it cannot be mapped.
    QImage picture(int w, int h, qsizetype bytesPerLine, QImage::Format f);

  private:
    int m_fd = -1;
};

} // namespace vorlan
