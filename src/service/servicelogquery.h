#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class ServiceLink;

// Asks the service for the lines its log holds about this user ("query: log") and collects the
// answer. Without a link nothing is asked and nothing answers: the caller bounds its wait.
class ServiceLogQuery : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const QStringList& lines, const QString& serviceVersion)>;

    explicit ServiceLogQuery(ServiceLink* link, QObject* parent = nullptr);

    // A second question while one is open is answered by the same reply.
    void ask(const Done& done);

    // The most lines kept of one answer.
    static constexpr int maxLines = 5000;

private:
    void onServiceOutput(const QString& message);

    ServiceLink* link;
    QList<Done> waiting;
    QStringList lines;
};
