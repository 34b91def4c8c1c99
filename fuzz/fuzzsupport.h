#pragma once
// Shared by the fuzz targets: an application object for the classes that want one, and a log
// that stays quiet, since every input is logged at length and the log itself is not under test.

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzz {

inline void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* application = nullptr;
    if (application == nullptr) {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        application = new QCoreApplication(argc, argv);
    }
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// A property the parser must keep: a breach is a finding like a crash.
inline void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace fuzz
