#include "output.h"

#include <QJsonArray>
#include <QStringList>

using RemoteProtocol::Word;

namespace Output {

namespace {

QString field(const QJsonObject& reply, const char* key)
{
    return reply.value(QLatin1String(key)).toString();
}

QString onOff(bool on, bool engaged, const char* engagedWord)
{
    QString text = on ? QStringLiteral("on") : QStringLiteral("off");
    if (engaged) {
        text += QStringLiteral(" (%1)").arg(QLatin1String(engagedWord));
    }
    return text;
}

QString statusText(const QJsonObject& reply)
{
    QStringList rows;
    const auto row = [&rows](const char* label, const QString& value) {
        if (!value.isEmpty()) {
            rows.append(QStringLiteral("%1 %2").arg(QLatin1String(label), -11).arg(value));
        }
    };
    row("State:", field(reply, "stateText"));
    row("Problem:", field(reply, "problem"));
    row("Location:", field(reply, "location"));
    row("Server:", field(reply, "server"));
    row("Tunnel IP:", field(reply, "tunnelIp"));
    row("Current IP:", field(reply, "currentIp"));
    row("Time:", field(reply, "time"));
    row("Traffic:", QStringLiteral("%1 down, %2 up").arg(field(reply, "downloaded"), field(reply, "uploaded")));
    row("Lock:",
        onOff(reply.value(QLatin1String("lock")).toBool(), reply.value(QLatin1String("lockEngaged")).toBool(),
            "engaged"));
    row("Lockdown:",
        onOff(reply.value(QLatin1String("lockdown")).toBool(), reply.value(QLatin1String("lockdownBlocking")).toBool(),
            "blocking"));
    return rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString locationsText(const QJsonObject& reply)
{
    QString text;
    for (const QJsonValue& value : reply.value(QLatin1String("locations")).toArray()) {
        const QJsonObject location = value.toObject();
        QString line = location.value(QLatin1String("chosen")).toBool() ? QStringLiteral("* ") : QStringLiteral("  ");
        line += field(location, "summary");
        if (location.contains(QLatin1String("latencyMs"))) {
            line += QStringLiteral(", %1 ms").arg(location.value(QLatin1String("latencyMs")).toInt());
        }
        text += line + QLatin1Char('\n');
    }
    return text.isEmpty() ? QStringLiteral("No location matches\n") : text;
}

} // namespace

QString text(Word word, const QJsonObject& reply)
{
    switch (word) {
    case Word::Status:
        return statusText(reply);
    case Word::Locations:
        return locationsText(reply);
    default:
        return field(reply, "message") + QLatin1Char('\n');
    }
}

} // namespace Output
