#include "tarwriter.h"

#include <QDateTime>

#include <cstring>

namespace {

constexpr int block = 512;

// An octal number in a field of `width` bytes, the last one NUL.
void octal(char* field, int width, qint64 value)
{
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    std::memcpy(field, digits.constData(), static_cast<size_t>(width - 1));
}

} // namespace

bool TarWriter::add(const QString& name, const QByteArray& data)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e) {
            return false;
        }
    }
    if (name.isEmpty() || name.size() > 99 || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1String(".."))) {
        return false;
    }
    files.append({ name.toLatin1(), data });
    return true;
}

QByteArray TarWriter::archive() const
{
    QByteArray out;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const auto& file : files) {
        char header[block] = {};
        std::memcpy(header, file.first.constData(), static_cast<size_t>(file.first.size()));
        octal(header + 100, 8, 0644);
        octal(header + 108, 8, 0);
        octal(header + 116, 8, 0);
        octal(header + 124, 12, file.second.size());
        octal(header + 136, 12, now);
        header[156] = '0';
        std::memcpy(header + 257, "ustar", 6);
        std::memcpy(header + 263, "00", 2);
        // The checksum counts its own field as blanks.
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (const char byte : header) {
            sum += static_cast<unsigned char>(byte);
        }
        octal(header + 148, 7, sum);
        header[154] = '\0';
        out.append(header, block);
        out.append(file.second);
        out.append(QByteArray((block - file.second.size() % block) % block, '\0'));
    }
    // Two empty blocks end the archive.
    out.append(QByteArray(2 * block, '\0'));
    return out;
}
