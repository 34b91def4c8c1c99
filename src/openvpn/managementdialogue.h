#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class ManagementLink;

// The client's half of the conversation on OpenVPN's management interface: what arrives is cut
// into bounded lines, the management password is answered once, the credentials when OpenVPN asks,
// and OpenVPN's reports (the tunnel's address, pushed DNS servers, byte counts, the tunnel up, the
// credentials refused) come out as signals. Everything it hears is the peer's: parsed strictly.
class ManagementDialogue : public QObject
{
    Q_OBJECT

public:
    // Replies go out on the link; log lines carry the tag.
    ManagementDialogue(ManagementLink* link, const QString& logTag, QObject* parent = nullptr);

    void setCredentials(const QString& userName, const QString& password);
    void setManagementSecret(const QByteArray& secret);
    // A new connection: nothing heard on an earlier one carries over.
    void restart();
    // A new run: the tunnel's address is reported once per run.
    void forgetAddress();
    // OpenVPN greeted this connection: it takes commands now (before, a line is a password try).
    bool isGreeted() const;

    // Everything the management socket delivered, as it arrives.
    void consume(const QByteArray& data);
    // The peer hung up: the last line may have come without a line end.
    void finish();

signals:
    void credentialsRejected();
    void tunnelUp();
    void assignedIp(QString ip);
    void dnsServersPushed(QString ipv4, QString ipv6);
    void byteCountChanged(quint64 received, quint64 sent);

private:
    void handleLine(const QString& line);
    bool isGreeting(const QString& line) const;
    void sendUserName();
    void sendPassword();
    void answerPasswordPrompt();
    bool parsePushReply(const QString& line);
    bool parseAssignIp(const QString& line);
    void parseByteCount(const QString& line);
    void extractDnsServers(const QStringList& options);
    void write(const QByteArray& data);

    static QString escapedForManagement(const QString& text);

    ManagementLink* link;
    const QString tag;
    QString userName;
    QString password;
    QByteArray managementSecret;
    bool managementPasswordSent = false;
    bool greeted = false;
    QString address;
    // Bytes of a management line whose line end has not arrived yet.
    QByteArray pendingLine;
    bool discardingLine = false;
};
