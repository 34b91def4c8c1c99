#include "interfacedns.h"

#include "toolsupport.h"

#include <QSet>

namespace InterfaceDns {

const QString nameServer = QStringLiteral("NameServer");

namespace {

const QString savedRoot = QStringLiteral("SOFTWARE\\Korvex\\dns");
// Values of a saved copy: a family's value is there when the user's was; "Complete" is written
// last, so a copy cut short by a crash is made again (the interface was not changed yet then).
const QString savedIpv4 = QStringLiteral("Tcpip");
const QString savedIpv6 = QStringLiteral("Tcpip6");
const QString complete = QStringLiteral("Complete");

QString failure(const QString& guid, const QString& text)
{
    return QStringLiteral("interface %1: %2").arg(guid, text);
}

bool isComplete(Registry* registry, const QString& guid)
{
    QString error;
    return registry->value(savedKey(guid), complete, &error).has_value();
}

// Keeps the user's values of the interface, unless a copy is already kept.
QString save(Registry* registry, const QString& guid)
{
    if (isComplete(registry, guid)) {
        return QString();
    }
    const QString saved = savedKey(guid);
    for (const bool ipv6 : { false, true }) {
        const QString place = ipv6 ? savedIpv6 : savedIpv4;
        QString error = registry->removeValue(saved, place);
        if (!error.isEmpty()) {
            return error;
        }
        const std::optional<QString> user = registry->value(interfaceKey(guid, ipv6), nameServer, &error);
        if (!error.isEmpty()) {
            return error;
        }
        if (user) {
            error = registry->setValue(saved, place, *user);
            if (!error.isEmpty()) {
                return error;
            }
        }
    }
    return registry->setValue(saved, complete, QStringLiteral("1"));
}

// Writes a family's servers where the interface has that family.
QString write(Registry* registry, const QString& guid, bool ipv6, const std::optional<QString>& text)
{
    const QString key = interfaceKey(guid, ipv6);
    if (!registry->keyExists(key)) {
        return QString();
    }
    return text ? registry->setValue(key, nameServer, *text) : registry->removeValue(key, nameServer);
}

QStringList useTunnel(const ResolverConfig::Request& request, Registry* registry)
{
    QStringList failures;
    for (int i = 0; i < request.ids.size(); ++i) {
        const QString& guid = request.ids.at(i);
        const QStringList places = request.places.value(i);
        if (!ResolverConfig::isGuid(guid)) {
            failures << failure(guid, QStringLiteral("not an interface GUID"));
            continue;
        }
        if (places.value(0).isEmpty() && places.value(1).isEmpty()) {
            continue; // without a server the user's stay: no names at all would be worse
        }
        if (!registry->keyExists(interfaceKey(guid, false)) && !registry->keyExists(interfaceKey(guid, true))) {
            failures << failure(guid, QStringLiteral("no such interface"));
            continue;
        }
        QString error = save(registry, guid);
        for (const bool ipv6 : { false, true }) {
            if (error.isEmpty()) {
                error = write(registry, guid, ipv6, places.value(ipv6 ? 1 : 0));
            }
        }
        if (error.isEmpty()) {
            error = registry->notify(guid);
        }
        if (!error.isEmpty()) {
            failures << failure(guid, error);
        }
    }
    return failures;
}

QStringList useUser(const ResolverConfig::Request& request, Registry* registry)
{
    QStringList failures;
    QSet<QString> restored;
    for (const QString& guid : registry->subkeys(savedRoot)) {
        if (!ResolverConfig::isGuid(guid)) {
            continue;
        }
        QString error;
        const bool wasComplete = isComplete(registry, guid);
        if (wasComplete) {
            for (const bool ipv6 : { false, true }) {
                const std::optional<QString> user
                    = registry->value(savedKey(guid), ipv6 ? savedIpv6 : savedIpv4, &error);
                if (error.isEmpty()) {
                    error = write(registry, guid, ipv6, user);
                }
                if (!error.isEmpty()) {
                    break;
                }
            }
        }
        // Kept until the user's values are back in place, so that a later "user" tries again.
        if (error.isEmpty()) {
            error = registry->removeKey(savedKey(guid));
        }
        if (error.isEmpty() && wasComplete) {
            error = registry->notify(guid);
        }
        if (!error.isEmpty()) {
            failures << failure(guid, error);
        }
        restored.insert(guid.toUpper());
    }
    // An interface without a copy was not changed by us: it gets the entry's list.
    for (int i = 0; i < request.ids.size(); ++i) {
        const QString& guid = request.ids.at(i);
        if (!ResolverConfig::isGuid(guid) || restored.contains(guid.toUpper())) {
            continue;
        }
        QStringList ipv4, ipv6;
        for (const QString& server : request.places.value(i)) {
            if (ToolSupport::isStrictIpv4(server)) {
                ipv4 << server;
            } else if (!server.isEmpty()) {
                ipv6 << server;
            }
        }
        QString error = write(registry, guid, false, ipv4.join(QLatin1Char(',')));
        if (error.isEmpty()) {
            error = write(registry, guid, true, ipv6.join(QLatin1Char(',')));
        }
        if (error.isEmpty()) {
            error = registry->notify(guid);
        }
        if (!error.isEmpty()) {
            failures << failure(guid, error);
        }
    }
    return failures;
}

} // namespace

QString interfaceKey(const QString& guid, bool ipv6)
{
    return QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\%1\\Parameters\\Interfaces\\%2")
        .arg(ipv6 ? QStringLiteral("Tcpip6") : QStringLiteral("Tcpip"), guid);
}

QString savedKey(const QString& guid)
{
    return savedRoot + QLatin1Char('\\') + guid.toUpper();
}

QStringList apply(const ResolverConfig::Request& request, Registry* registry)
{
    return request.mode == ResolverConfig::Request::Vpn ? useTunnel(request, registry) : useUser(request, registry);
}

} // namespace InterfaceDns
