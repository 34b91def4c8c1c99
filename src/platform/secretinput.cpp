#include "secretinput.h"

#include <QByteArray>

namespace SecretInput {

bool readLine(const QString& prompt, int maxBytes, QString* secret)
{
    const bool quieted = detail::quiet(prompt);
    QByteArray line;
    bool ended = false;
    char c = 0;
    while (line.size() <= maxBytes && detail::readByte(&c)) {
        if (c == '\n') {
            ended = true;
            break;
        }
        line.append(c);
    }
    if (quieted) {
        detail::restore();
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    const QString text = QString::fromUtf8(line);
    if ((!ended && line.isEmpty()) || line.size() > maxBytes || text.toUtf8() != line) {
        return false;
    }
    *secret = text;
    return true;
}

} // namespace SecretInput
