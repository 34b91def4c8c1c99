#include "autostart.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"

#include <QCoreApplication>
#include <QFileInfo>

QString AutoStart::valueName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).baseName();
}

bool AutoStart::setEnabled(bool enable, bool hidden)
{
    write(enable, hidden);
    const bool registered = isEnabled();
    tagged(qInfo(), QStringLiteral("AutoStart")) << "Set enabled: '" << Utils::boolToString(enable) << "', status '"
                                                 << Utils::boolToString(enable == registered) << "'";
    return registered;
}
