// Two roles in a test application folder, chosen by the name it runs under:
// - as killswitch.exe or dns.exe, a tool stand-in that appends its exact arguments, joined by
//   "|", to the file VPN_STANDIN_RECORD names, and ends with the code in "<that file>.exit";
// - under any other name, the client: each argument is one step for KillSwitch or DnsManager
//   over the real service link, and what comes back is printed, one line per step.
//     enable INTERNAL PUBLIC 0|1    disable    dns-vpn V4|- V6|-    dns-user
#include "connection/dnsmanager.h"
#include "connection/killswitch.h"
#include "service/servicecontroller.h"
#include "service/serviceprocess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

int toolMain(const QString& name, const QStringList& arguments)
{
    const QString record = qEnvironmentVariable("VPN_STANDIN_RECORD");
    QFile file(record);
    if (!record.isEmpty() && file.open(QIODevice::Append)) {
        file.write((QStringList { name } + arguments).join(QLatin1Char('|')).toUtf8() + '\n');
    }
    QFile exitFile(record + QStringLiteral(".exit"));
    return exitFile.open(QIODevice::ReadOnly) ? exitFile.readAll().trimmed().toInt() : 0;
}

void print(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString orEmpty(const QString& text)
{
    return text == QLatin1String("-") ? QString() : text;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (name == QLatin1String("killswitch") || name == QLatin1String("dns")) {
        return toolMain(name, app.arguments().mid(1));
    }

    ServiceController controller;
    KillSwitch killSwitch;
    DnsManager dnsManager;
    ServiceProcess dnsProcess(QStringLiteral("dns"));

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&loop] {
        loop.exit(1);
    });
    QObject::connect(&killSwitch, &KillSwitch::killSwitchFinished, &loop, [&](bool ok) {
        print(QStringLiteral("killswitch ok=%1 engaged=%2")
                  .arg(ok ? "true" : "false", killSwitch.isProtectionEnabled() ? "true" : "false"));
        loop.exit(0);
    });
    QObject::connect(&dnsProcess, &ServiceProcess::finished, &loop, [&](int code) {
        print(QStringLiteral("dns code=%1").arg(code));
        loop.exit(0);
    });

    const QStringList steps = app.arguments().mid(1);
    for (const QString& step : steps) {
        const QStringList words = step.split(QLatin1Char(' '));
        if (words.at(0) == QLatin1String("enable") && words.size() == 4) {
            killSwitch.enableProtection(words.at(1), words.at(2), words.at(3) == QLatin1String("1"));
        } else if (words.at(0) == QLatin1String("disable")) {
            killSwitch.disableProtection();
        } else if (words.at(0) == QLatin1String("dns-vpn") && words.size() == 3) {
            dnsManager.refresh();
            dnsProcess.start(QStringList { DnsManager::dnsToolPath(), QStringLiteral("vpn") }
                + dnsManager.vpnDnsSettings(orEmpty(words.at(1)), orEmpty(words.at(2))));
        } else if (words.at(0) == QLatin1String("dns-user")) {
            dnsManager.refresh();
            dnsProcess.start(
                QStringList { DnsManager::dnsToolPath(), QStringLiteral("user") } + dnsManager.userDnsSettings());
        } else {
            print(QStringLiteral("bad step ") + step);
            return 2;
        }
        timeout.start(15000);
        if (loop.exec() != 0) {
            print(QStringLiteral("timeout"));
            return 1;
        }
    }
    return 0;
}
