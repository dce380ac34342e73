#pragma once

// Permission faults cannot show for root, which reads and writes every file; the test suite may
// run as root in containers. While an OrdinaryUser lives, file access is checked as for the
// unprivileged user "nobody" (only the effective ids change, so they can be given back).

#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace vorlan::test {

class OrdinaryUser {
  public:
    OrdinaryUser() {
#ifdef Q_OS_UNIX
        if (geteuid() == 0) {
            m_switched = setegid(65534) == 0 && seteuid(65534) == 0;
        }
#endif
    }
    ~OrdinaryUser() {
#ifdef Q_OS_UNIX
        if (m_switched) {
            [[maybe_unused]] const int u = seteuid(0);
            [[maybe_unused]] const int g = setegid(0);
        }
#endif
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

    /// Lets the ordinary user into a folder the tests created (temporary folders are 0700).
    static void openFolder(const QString& path) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                        QFile::ExeGroup);
    }

  private:
    bool m_switched = false;
};

} // namespace vorlan::test
