#pragma once
// The service's side of the client's link, in process: records every command and answers as
// vpn-service does, a tick later. A start is answered "started:PID,0,NAME" (a tool's run also ends at
// once with 0); "lockdown:", "tun:" and the answer to "init: connection" come as the service sends
// them. With openVpn() it also plays OpenVPN: a management interface on 127.0.0.1:61973 that says,
// per run, what the next entry of `runs` holds (empty: nothing, a server that never answers), and
// whose run ends with "finished:" on the client's "signal SIGTERM" or kill.
#include "openvpn/openvpnclient.h"
#include "protocol/serviceprotocol.h"
#include "service/servicelink.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

class FakeService : public ServiceLink
{
public:
    // Greeting, address, pushed resolver, tunnel up.
    static QByteArray tunnel(const QByteArray& dns = "dhcp-option DNS 10.8.0.1")
    {
        return ">INFO:OpenVPN Management Interface Version 5\r\n>STATE:1,ASSIGN_IP,,10.8.0.2,,,,,\r\n"
               ">LOG:1,,PUSH: Received control message: 'PUSH_REPLY,"
            + dns + ",ifconfig 10.8.0.2 255.255.255.0'\r\n>LOG:1,I,Initialization Sequence Completed\r\n";
    }

    QStringList sent; // every command, as sent
    QList<QByteArray> runs; // what each OpenVPN run says on its management interface; the last one repeats
    int refuseCode = 0; // not 0: every start is refused with this code
    quint32 termExitCode = 0; // OpenVPN's exit code on "signal SIGTERM"
    QString tunReason; // not empty: the service says TUN is unavailable, and why
    bool lockdownOn = false;
    QStringList userLog; // the lines "query: log" is answered with
    bool answers = true; // false: commands are recorded and never answered
    QByteArray heard; // what the client said on every management interface

    // Starts listening on OpenVPN's management port; the runs of "openvpn" connect there.
    void openVpn()
    {
        QVERIFY(management.listen(QHostAddress::LocalHost, OpenVpnClient::managementPort));
        QObject::connect(&management, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = management.nextPendingConnection();
            const qint64 pid = openVpnPid;
            sockets.insert(pid, socket);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pid] {
                const QByteArray bytes = socket->readAll();
                heard += bytes;
                if (bytes.contains("signal SIGTERM")) {
                    end(pid, termExitCode);
                }
            });
            socket->write(runs.value(openVpnRuns - 1, runs.value(runs.size() - 1)));
        });
    }

    // The client's commands in short: "openvpn" for a start of OpenVPN, "NAME ARGUMENTS..." for a
    // tool's run, the command itself for the rest.
    QStringList transcript() const
    {
        QStringList out;
        for (const QString& command : sent) {
            const QStringList words = arguments(command);
            out << (words.isEmpty() ? command
                    : programName(words.first()) == QLatin1String("openvpn")
                    ? QStringLiteral("openvpn")
                    : (QStringList { programName(words.first()) } + words.mid(1)).join(QLatin1Char(' ')));
        }
        return out;
    }
    int count(const QString& shortCommand) const
    {
        return transcript().count(shortCommand);
    }
    bool openVpnRunning() const
    {
        return openVpnPid != 0;
    }
    // No line or end of a run is on its way to the client.
    bool settled() const
    {
        return pending == 0;
    }

    // OpenVPN ends as if killed from outside, with this code.
    void endOpenVpn(quint32 code)
    {
        end(openVpnPid, code);
    }
    // The latest run has opened its management interface.
    bool talking() const
    {
        return sockets.contains(openVpnPid);
    }
    // The link drops (the service went away, and its programs with it) or comes back.
    void drop()
    {
        up = false;
        for (QTcpSocket* socket : std::as_const(sockets)) {
            socket->abort();
        }
        sockets.clear();
        live.clear();
        openVpnPid = 0;
        emit disconnected();
    }
    void restore()
    {
        up = true;
        emit connected();
    }
    void play(const QString& line)
    {
        emit processOutput(line);
    }

    void sendCommand(const QString& command) override
    {
        sent << command;
        if (!up || !answers) {
            return;
        }
        const QStringList words = arguments(command);
        if (command == ServiceProtocol::killOpenVpn || command == ServiceProtocol::stopOpenVpn) {
            endOpenVpn(command == ServiceProtocol::killOpenVpn ? 9 : termExitCode);
        } else if (command == ServiceProtocol::queryTun) {
            playLater(ServiceProtocol::tunLine(tunReason));
        } else if (command == ServiceProtocol::queryLog) {
            for (const QString& line : userLog) {
                playLater(ServiceProtocol::userLogLinePrefix + line);
            }
            playLater(ServiceProtocol::userLogEndPrefix + QString::number(userLog.size()) + ",9.8.7");
        } else if (command == ServiceProtocol::init) {
            playLater(ServiceProtocol::finishedLine(0, 0, ServiceProtocol::initName));
            playLater(ServiceProtocol::lockdownLine(lockdownOn));
        } else if (command.startsWith(ServiceProtocol::lockdownPrefix)) {
            lockdownOn = command.section(QLatin1Char(' '), 1, 1) == ServiceProtocol::lockdownOnWord;
            playLater(ServiceProtocol::lockdownLine(lockdownOn));
        } else if (!words.isEmpty()) {
            start(programName(words.first()));
        }
    }
    bool isLinkUp() const override
    {
        return up;
    }
    bool isInitialized() const override
    {
        return true;
    }

private:
    static QStringList arguments(const QString& command)
    {
        if (!command.startsWith(ServiceProtocol::startPrefix + QLatin1Char('"'))) {
            return {};
        }
        const QString quoted = command.mid(ServiceProtocol::startPrefix.size() + 1).chopped(1);
        return quoted.split(QStringLiteral("\" \""));
    }
    static QString programName(const QString& path)
    {
        return QFileInfo(path).fileName();
    }
    void start(const QString& name)
    {
        if (refuseCode != 0) {
            playLater(ServiceProtocol::startedLine(0, refuseCode, name));
            return;
        }
        const qint64 pid = ++lastPid;
        if (name != QLatin1String("openvpn")) {
            playLater(ServiceProtocol::startedLine(pid, 0, name));
            playLater(ServiceProtocol::finishedLine(pid, 0, name));
            return;
        }
        // One OpenVPN at a time: the service ends one that the client's stop did not end by then.
        ++pending;
        QTimer::singleShot(100, this, [this, previous = openVpnPid] {
            --pending;
            end(previous, 15);
        });
        openVpnPid = pid;
        live.insert(pid);
        ++openVpnRuns;
        playLater(ServiceProtocol::startedLine(pid, 0, name));
    }
    void end(qint64 pid, quint32 code)
    {
        if (!live.remove(pid)) {
            return;
        }
        if (QTcpSocket* socket = sockets.take(pid)) {
            socket->abort();
        }
        if (pid == openVpnPid) {
            openVpnPid = 0;
        }
        playLater(ServiceProtocol::finishedLine(pid, code, QStringLiteral("openvpn")));
    }
    void playLater(const QString& line)
    {
        ++pending;
        QTimer::singleShot(0, this, [this, line] {
            --pending;
            play(line);
        });
    }

    bool up = true;
    qint64 lastPid = 1000;
    qint64 openVpnPid = 0;
    int openVpnRuns = 0;
    int pending = 0; // lines and ends not yet played
    QSet<qint64> live; // OpenVPN runs not yet finished
    QTcpServer management;
    QHash<qint64, QTcpSocket*> sockets; // per run, its management connection
};
