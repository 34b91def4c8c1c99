// Run as killswitch.exe or dns.exe: a tool stand-in that appends "NAME|ARG|ARG..." to the file
// VPN_STANDIN_RECORD names and ends with the code in "<that file>.exit".
// Run under any other name: the client. Each argument is one step, done over the real service link
// and answered with one line:   enable INTERNAL PUBLIC 0|1   disable   dns-vpn V4|- V6|-   dns-user
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

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QStringList arguments = app.arguments().mid(1);
    if (name == "killswitch" || name == "dns") {
        QFile record(qEnvironmentVariable("VPN_STANDIN_RECORD"));
        if (record.open(QIODevice::Append)) {
            record.write((QStringList { name } + arguments).join('|').toUtf8() + '\n');
        }
        QFile exitCode(record.fileName() + ".exit");
        return exitCode.open(QIODevice::ReadOnly) ? exitCode.readAll().trimmed().toInt() : 0;
    }

    ServiceController controller;
    KillSwitch killSwitch;
    DnsManager dnsManager;
    ServiceProcess dnsProcess("dns");
    QEventLoop loop;
    const auto answer = [&loop](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        loop.exit(0);
    };
    QObject::connect(&killSwitch, &KillSwitch::killSwitchFinished, &loop, [&](bool ok) {
        answer(QString("killswitch ok=%1 engaged=%2")
                   .arg(ok ? "true" : "false", killSwitch.isProtectionEnabled() ? "true" : "false"));
    });
    QObject::connect(&dnsProcess, &ServiceProcess::finished, &loop, [&](int code) {
        answer(QString("dns code=%1").arg(code));
    });

    for (const QString& step : arguments) {
        const QStringList w = QString(step).replace(" -", " ").split(' ');
        if (w.at(0) == "enable" && w.size() == 4) {
            killSwitch.enableProtection(w.at(1), w.at(2), w.at(3) == "1");
        } else if (w.at(0) == "disable") {
            killSwitch.disableProtection();
        } else if (w.at(0) == "dns-vpn" && w.size() == 3) {
            dnsManager.refresh();
            dnsProcess.start(
                QStringList { DnsManager::dnsToolPath(), "vpn" } + dnsManager.vpnDnsSettings(w.at(1), w.at(2)));
        } else if (w.at(0) == "dns-user") {
            dnsManager.refresh();
            dnsProcess.start(QStringList { DnsManager::dnsToolPath(), "user" } + dnsManager.userDnsSettings());
        } else {
            return 2;
        }
        QTimer::singleShot(15000, &loop, [&loop] {
            loop.exit(1);
        });
        if (loop.exec() != 0) {
            std::printf("timeout\n");
            return 1;
        }
    }
    return 0;
}
