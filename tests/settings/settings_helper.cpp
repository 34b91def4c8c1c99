// Runs the settings store in a process of its own, so a test can check what survives a restart.
//   settings_helper [--set JSON] [--save] [--save]...
// applies the JSON object's values through the setters, saves as often as asked, and prints every
// field as one JSON object on standard output.
#include "settings/settings.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>

#include <cstdio>

namespace {

void apply(Settings* settings, const QJsonObject& values)
{
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        if (it.key() == QLatin1String("currentServerId")) {
            settings->setCurrentServerId(it.value().toInt());
        } else if (!settings->setProperty(qPrintable(it.key()), it.value().toVariant())) {
            qFatal("unknown setting %s", qPrintable(it.key()));
        }
    }
}

QJsonObject dump(const Settings* settings)
{
    QJsonObject result;
    const QMetaObject* meta = settings->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        result.insert(QString::fromLatin1(property.name()), QJsonValue::fromVariant(property.read(settings)));
    }
    result.insert(QStringLiteral("currentServerId"), settings->currentServerId());
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Settings* settings = Settings::instance();
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--set") && i + 1 < args.size()) {
            apply(settings, QJsonDocument::fromJson(args.at(++i).toUtf8()).object());
        } else if (args.at(i) == QLatin1String("--save")) {
            settings->save();
        } else {
            qFatal("unknown argument %s", qPrintable(args.at(i)));
        }
    }
    const QByteArray out = QJsonDocument(dump(settings)).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    return 0;
}
