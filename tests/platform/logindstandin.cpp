// Stands in for logind on the bus DBUS_SYSTEM_BUS_ADDRESS names: emits PrepareForSleep.
//   logind-standin sleep|resume [--unowned]
// With --unowned the signal comes from a connection that does not own logind's name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const QString what = arguments.value(0);
    if (what != QLatin1String("sleep") && what != QLatin1String("resume")) {
        QTextStream(stderr) << "usage: logind-standin sleep|resume [--unowned]\n";
        return 2;
    }
    const QString name = QStringLiteral("org.freedesktop.login1");
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || (!arguments.contains(QStringLiteral("--unowned")) && !bus.registerService(name))) {
        QTextStream(stderr) << "logind-standin: " << bus.lastError().message() << '\n';
        return 1;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    signal << (what == QLatin1String("sleep"));
    bus.send(signal);
    // A call answered after the signal: the signal has left by then.
    bus.interface()->isServiceRegistered(name);
    return 0;
}
