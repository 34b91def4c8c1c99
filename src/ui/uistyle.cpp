#include "uistyle.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "ui/productname.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace {

struct CommonEntry
{
    const char* key;
    const char* value;
};

struct ColourEntry
{
    const char* key;
    const char* dark;
    const char* light;
};

// The same in both sets.
const CommonEntry commonEntries[] = {
    { "generalLogoFileName", "qrc:/resources/icons/vpn.png" },
    { "connectionPageSettingsButtonIconColor", "" },
    { "settingsPageShowLogs", "true" },
};

// Text against its ground reaches 4.5:1 (3:1 for a control's parts and marks), the brand's hues kept:
// where the first sets fell short only the lightness changed.
const ColourEntry colourEntries[] = {
    { "generalBackgroundColor", "#102847", "#f6f7f9" },
    { "generalBrightLabelColor", "white", "black" },
    { "generalButtonBackgroundColor", "#f7f8fa", "#22854b" },
    { "generalButtonBackgroundColorPressed", "#35cb73", "#000000" },
    { "generalButtonTextColor", "black", "white" },
    { "generalButtonTextColorPressed", "black", "white" },
    { "generalDefaultLabelColor", "white", "black" },
    { "generalGreyLabelColor", "white", "#696969" },
    { "generalHeaderActiveColor", "#35cb73", "#299f5a" },
    { "generalHeaderBackgroundColor", "#081c37", "white" },
    { "generalListViewItemActiveColor", "#183254", "white" },
    { "generalListViewItemBackgroundColor", "#102847", "#f7f8fa" },
    { "generalListViewSeparatorColor", "#1f4571", "#e8eaf2" },
    { "generalRadioButtonBackgroundColor", "transparent", "transparent" },
    { "generalRadioButtonBorderColor", "#efefef", "#929292" },
    { "generalRadioButtonSelectedColor", "#35cb73", "#299f5a" },
    { "generalSectionColor", "#133054", "#ffffff" },
    { "generalSwitchBackgroundColor", "#102847", "#e7e9f2" },
    { "generalSwitchBackgroundColorChecked", "#7aefaa", "#b4f8d0" },
    { "generalSwitchIndicatorColor", "#407cc4", "#919196" },
    { "generalSwitchIndicatorColorChecked", "#35cb73", "#299f5a" },
    { "generalTabBackgroundColor", "#081c37", "white" },
    { "generalTabFontColor", "white", "black" },
    { "generalTabNonSelectedColor", "#1c3659", "#e7e9f2" },
    { "generalTabSelectedColor", "#35cb73", "#299f5a" },
    { "generalTextFieldBorderColor", "#5d7ea6", "#8590bd" },
    { "connectionPageCirclesColor", "#193151", "#dedfe1" },
    { "connectionPageSettingsButtonBackgroundColor", "#f7f8fa", "white" },
    { "connectionPageSettingsButtonBackgroundColorPressed", "#35cb73", "white" },
    { "connectionPageSettingsButtonTextColor", "black", "black" },
    { "connectionPageSettingsButtonTextColorPressed", "black", "black" },
    { "connectionPageVpnConnectedButtonGradientColor1", "#64a9ff", "#64a9ff" },
    { "connectionPageVpnConnectedButtonGradientColor2", "#00ff64", "#00ff64" },
    { "connectionPageVpnConnectedButtonGradientColor3", "#5ebee1", "#5ebee1" },
    { "connectionPageVpnDisconnectedButtonGradientColor1", "#1c3658", "#d0d2d5" },
    { "connectionPageVpnDisconnectedButtonGradientColor2", "#245698", "#eff0f1" },
    { "connectionPageVpnDisconnectedButtonGradientColor3", "#1d4170", "#d0d2d5" },
    { "connectionPageVpnSwitchLabelColor", "#6c6c6c", "#6c6c6c" },
    { "connectionPageVpnSwitchBackgroundColor", "white", "white" },
    { "connectionPageVpnDurationLabelColor", "black", "black" },
    { "connectionPageVpnDurationBackgroundColor", "#f1f0f0", "#f1f0f0" },
    { "connectionPageVpnTimerLabelColor", "#1e8546", "#1e8546" },
    { "settingsPageDefaultLabelColor1", "white", "#555252" },
    // White: black text cannot be read on the dark sections.
    { "settingsPageDefaultLabelColor2", "white", "#707070" },
    { "settingsPageHeaderBackgroundColor", "white", "white" },
};

} // namespace

UiStyle::UiStyle(QObject* parent)
    : UiStyle(defaultBrandingFolder(), parent)
{ }

UiStyle::UiStyle(const QString& brandingFolder, QObject* parent)
    : QObject(parent)
    , m_brandingFolder(brandingFolder)
{
    setObjectName(QStringLiteral("UiStyle"));
    load();
}

QString UiStyle::defaultBrandingFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/branding");
}

void UiStyle::load()
{
    const QString path = m_brandingFolder + QStringLiteral("/branding.ini");
    if (!QFileInfo::exists(path)) {
        tagged(qWarning(), objectName()) << "Branding file does not exists!";
        fillBaseSet(m_darkStyle);
        return;
    }

    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Main"));
    const QString version = file.value(QStringLiteral("version"), QStringLiteral("0")).toString();
    m_brandingEnabled = file.value(QStringLiteral("brandingEnabled"), m_brandingEnabled).toBool();
    if (!m_brandingEnabled) {
        tagged(qWarning(), objectName()) << "Branding style is not enabled!";
        fillBaseSet(false);
        return;
    }
    m_darkStyle = file.value(QStringLiteral("darkStyle"), true).toBool();
    file.endGroup();

    tagged(qInfo(), objectName()) << "Version '" << version << "', enabled: " << Utils::boolToString(m_brandingEnabled)
                                  << ", dark style: " << Utils::boolToString(m_darkStyle);

    fillBaseSet(m_darkStyle);
    // Only known keys are taken over; anything else in the group is ignored.
    file.beginGroup(QStringLiteral("Style"));
    for (auto it = m_style.begin(); it != m_style.end(); ++it) {
        it.value() = file.value(it.key(), it.value()).toString();
    }
    file.endGroup();
}

void UiStyle::fillBaseSet(bool dark)
{
    for (const CommonEntry& entry : commonEntries) {
        m_style.insert(QString::fromLatin1(entry.key), QString::fromLatin1(entry.value));
    }
    for (const ColourEntry& entry : colourEntries) {
        m_style.insert(QString::fromLatin1(entry.key), QString::fromLatin1(dark ? entry.dark : entry.light));
    }
}

bool UiStyle::settingsPageShowLogs() const
{
    return value(QStringLiteral("settingsPageShowLogs")).toLower() == QLatin1String("true");
}

QString UiStyle::generalLogoFileName() const
{
    const QString logo = value(QStringLiteral("generalLogoFileName"));
    if (logo.startsWith(QLatin1String("qrc:"))) {
        return logo;
    }
    if (QFileInfo(logo).isRelative()) {
        // A logo named relative to the branding folder, e.g. generalLogoFileName=logo.png.
        const QString absolute = QFileInfo(m_brandingFolder + QLatin1Char('/') + logo).absoluteFilePath();
        return QUrl::fromLocalFile(absolute).toString();
    }
    return logo;
}

QString UiStyle::titleName() const
{
    return ProductName::title();
}
