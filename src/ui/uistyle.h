#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// The look of the whole interface: the colours, the logo and a few switches every QML file reads
// from the context property "uiStyle". Built-in light and dark sets, optionally recoloured by
// branding/branding.ini beside the executable. Read once at construction; constant afterwards.
class UiStyle : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool brandingEnabled READ brandingEnabled CONSTANT)
    Q_PROPERTY(bool darkStyle READ darkStyle CONSTANT)
    Q_PROPERTY(QString generalBackgroundColor READ generalBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalBrightLabelColor READ generalBrightLabelColor CONSTANT)
    Q_PROPERTY(QString generalButtonBackgroundColor READ generalButtonBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalButtonBackgroundColorPressed READ generalButtonBackgroundColorPressed CONSTANT)
    Q_PROPERTY(QString generalButtonTextColor READ generalButtonTextColor CONSTANT)
    Q_PROPERTY(QString generalButtonTextColorPressed READ generalButtonTextColorPressed CONSTANT)
    Q_PROPERTY(QString generalDefaultLabelColor READ generalDefaultLabelColor CONSTANT)
    Q_PROPERTY(QString generalGreyLabelColor READ generalGreyLabelColor CONSTANT)
    Q_PROPERTY(QString generalHeaderActiveColor READ generalHeaderActiveColor CONSTANT)
    Q_PROPERTY(QString generalHeaderBackgroundColor READ generalHeaderBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalListViewItemActiveColor READ generalListViewItemActiveColor CONSTANT)
    Q_PROPERTY(QString generalListViewItemBackgroundColor READ generalListViewItemBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalListViewSeparatorColor READ generalListViewSeparatorColor CONSTANT)
    Q_PROPERTY(QString generalLogoFileName READ generalLogoFileName CONSTANT)
    Q_PROPERTY(QString generalRadioButtonBackgroundColor READ generalRadioButtonBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalRadioButtonBorderColor READ generalRadioButtonBorderColor CONSTANT)
    Q_PROPERTY(QString generalRadioButtonSelectedColor READ generalRadioButtonSelectedColor CONSTANT)
    Q_PROPERTY(QString generalSectionColor READ generalSectionColor CONSTANT)
    Q_PROPERTY(QString generalSwitchBackgroundColor READ generalSwitchBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalSwitchBackgroundColorChecked READ generalSwitchBackgroundColorChecked CONSTANT)
    Q_PROPERTY(QString generalSwitchIndicatorColor READ generalSwitchIndicatorColor CONSTANT)
    Q_PROPERTY(QString generalSwitchIndicatorColorChecked READ generalSwitchIndicatorColorChecked CONSTANT)
    Q_PROPERTY(QString generalTabBackgroundColor READ generalTabBackgroundColor CONSTANT)
    Q_PROPERTY(QString generalTabFontColor READ generalTabFontColor CONSTANT)
    Q_PROPERTY(QString generalTabNonSelectedColor READ generalTabNonSelectedColor CONSTANT)
    Q_PROPERTY(QString generalTabSelectedColor READ generalTabSelectedColor CONSTANT)
    Q_PROPERTY(QString generalTextFieldBorderColor READ generalTextFieldBorderColor CONSTANT)
    Q_PROPERTY(QString connectionPageCirclesColor READ connectionPageCirclesColor CONSTANT)
    Q_PROPERTY(
        QString connectionPageSettingsButtonBackgroundColor READ connectionPageSettingsButtonBackgroundColor CONSTANT)
    Q_PROPERTY(QString connectionPageSettingsButtonBackgroundColorPressed READ
            connectionPageSettingsButtonBackgroundColorPressed CONSTANT)
    Q_PROPERTY(QString connectionPageSettingsButtonTextColor READ connectionPageSettingsButtonTextColor CONSTANT)
    Q_PROPERTY(
        QString connectionPageSettingsButtonTextColorPressed READ connectionPageSettingsButtonTextColorPressed CONSTANT)
    Q_PROPERTY(QString connectionPageSettingsButtonIconColor READ connectionPageSettingsButtonIconColor CONSTANT)
    Q_PROPERTY(QString connectionPageVpnConnectedButtonGradientColor1 READ
            connectionPageVpnConnectedButtonGradientColor1 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnConnectedButtonGradientColor2 READ
            connectionPageVpnConnectedButtonGradientColor2 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnConnectedButtonGradientColor3 READ
            connectionPageVpnConnectedButtonGradientColor3 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnDisconnectedButtonGradientColor1 READ
            connectionPageVpnDisconnectedButtonGradientColor1 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnDisconnectedButtonGradientColor2 READ
            connectionPageVpnDisconnectedButtonGradientColor2 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnDisconnectedButtonGradientColor3 READ
            connectionPageVpnDisconnectedButtonGradientColor3 CONSTANT)
    Q_PROPERTY(QString connectionPageVpnSwitchLabelColor READ connectionPageVpnSwitchLabelColor CONSTANT)
    Q_PROPERTY(QString connectionPageVpnSwitchBackgroundColor READ connectionPageVpnSwitchBackgroundColor CONSTANT)
    Q_PROPERTY(QString connectionPageVpnDurationLabelColor READ connectionPageVpnDurationLabelColor CONSTANT)
    Q_PROPERTY(QString connectionPageVpnDurationBackgroundColor READ connectionPageVpnDurationBackgroundColor CONSTANT)
    Q_PROPERTY(QString connectionPageVpnTimerLabelColor READ connectionPageVpnTimerLabelColor CONSTANT)
    Q_PROPERTY(QString settingsPageDefaultLabelColor1 READ settingsPageDefaultLabelColor1 CONSTANT)
    Q_PROPERTY(QString settingsPageDefaultLabelColor2 READ settingsPageDefaultLabelColor2 CONSTANT)
    Q_PROPERTY(QString settingsPageHeaderBackgroundColor READ settingsPageHeaderBackgroundColor CONSTANT)
    Q_PROPERTY(bool settingsPageShowLogs READ settingsPageShowLogs CONSTANT)

public:
    explicit UiStyle(QObject* parent = nullptr);
    // Reads the branding file of the given folder instead of the one beside the executable.
    UiStyle(const QString& brandingFolder, QObject* parent);

    static QString defaultBrandingFolder();

    // The product's name, for the window title.
    Q_INVOKABLE QString titleName() const;

    bool brandingEnabled() const
    {
        return m_brandingEnabled;
    }
    bool darkStyle() const
    {
        return m_darkStyle;
    }
    bool settingsPageShowLogs() const;

    QString generalBackgroundColor() const
    {
        return value(QStringLiteral("generalBackgroundColor"));
    }
    QString generalBrightLabelColor() const
    {
        return value(QStringLiteral("generalBrightLabelColor"));
    }
    QString generalButtonBackgroundColor() const
    {
        return value(QStringLiteral("generalButtonBackgroundColor"));
    }
    QString generalButtonBackgroundColorPressed() const
    {
        return value(QStringLiteral("generalButtonBackgroundColorPressed"));
    }
    QString generalButtonTextColor() const
    {
        return value(QStringLiteral("generalButtonTextColor"));
    }
    QString generalButtonTextColorPressed() const
    {
        return value(QStringLiteral("generalButtonTextColorPressed"));
    }
    QString generalDefaultLabelColor() const
    {
        return value(QStringLiteral("generalDefaultLabelColor"));
    }
    QString generalGreyLabelColor() const
    {
        return value(QStringLiteral("generalGreyLabelColor"));
    }
    QString generalHeaderActiveColor() const
    {
        return value(QStringLiteral("generalHeaderActiveColor"));
    }
    QString generalHeaderBackgroundColor() const
    {
        return value(QStringLiteral("generalHeaderBackgroundColor"));
    }
    QString generalListViewItemActiveColor() const
    {
        return value(QStringLiteral("generalListViewItemActiveColor"));
    }
    QString generalListViewItemBackgroundColor() const
    {
        return value(QStringLiteral("generalListViewItemBackgroundColor"));
    }
    QString generalListViewSeparatorColor() const
    {
        return value(QStringLiteral("generalListViewSeparatorColor"));
    }
    QString generalLogoFileName() const;
    QString generalRadioButtonBackgroundColor() const
    {
        return value(QStringLiteral("generalRadioButtonBackgroundColor"));
    }
    QString generalRadioButtonBorderColor() const
    {
        return value(QStringLiteral("generalRadioButtonBorderColor"));
    }
    QString generalRadioButtonSelectedColor() const
    {
        return value(QStringLiteral("generalRadioButtonSelectedColor"));
    }
    QString generalSectionColor() const
    {
        return value(QStringLiteral("generalSectionColor"));
    }
    QString generalSwitchBackgroundColor() const
    {
        return value(QStringLiteral("generalSwitchBackgroundColor"));
    }
    QString generalSwitchBackgroundColorChecked() const
    {
        return value(QStringLiteral("generalSwitchBackgroundColorChecked"));
    }
    QString generalSwitchIndicatorColor() const
    {
        return value(QStringLiteral("generalSwitchIndicatorColor"));
    }
    QString generalSwitchIndicatorColorChecked() const
    {
        return value(QStringLiteral("generalSwitchIndicatorColorChecked"));
    }
    QString generalTabBackgroundColor() const
    {
        return value(QStringLiteral("generalTabBackgroundColor"));
    }
    QString generalTabFontColor() const
    {
        return value(QStringLiteral("generalTabFontColor"));
    }
    QString generalTabNonSelectedColor() const
    {
        return value(QStringLiteral("generalTabNonSelectedColor"));
    }
    QString generalTabSelectedColor() const
    {
        return value(QStringLiteral("generalTabSelectedColor"));
    }
    QString generalTextFieldBorderColor() const
    {
        return value(QStringLiteral("generalTextFieldBorderColor"));
    }
    QString connectionPageCirclesColor() const
    {
        return value(QStringLiteral("connectionPageCirclesColor"));
    }
    QString connectionPageSettingsButtonBackgroundColor() const
    {
        return value(QStringLiteral("connectionPageSettingsButtonBackgroundColor"));
    }
    QString connectionPageSettingsButtonBackgroundColorPressed() const
    {
        return value(QStringLiteral("connectionPageSettingsButtonBackgroundColorPressed"));
    }
    QString connectionPageSettingsButtonTextColor() const
    {
        return value(QStringLiteral("connectionPageSettingsButtonTextColor"));
    }
    QString connectionPageSettingsButtonTextColorPressed() const
    {
        return value(QStringLiteral("connectionPageSettingsButtonTextColorPressed"));
    }
    QString connectionPageSettingsButtonIconColor() const
    {
        return value(QStringLiteral("connectionPageSettingsButtonIconColor"));
    }
    QString connectionPageVpnConnectedButtonGradientColor1() const
    {
        return value(QStringLiteral("connectionPageVpnConnectedButtonGradientColor1"));
    }
    QString connectionPageVpnConnectedButtonGradientColor2() const
    {
        return value(QStringLiteral("connectionPageVpnConnectedButtonGradientColor2"));
    }
    QString connectionPageVpnConnectedButtonGradientColor3() const
    {
        return value(QStringLiteral("connectionPageVpnConnectedButtonGradientColor3"));
    }
    QString connectionPageVpnDisconnectedButtonGradientColor1() const
    {
        return value(QStringLiteral("connectionPageVpnDisconnectedButtonGradientColor1"));
    }
    QString connectionPageVpnDisconnectedButtonGradientColor2() const
    {
        return value(QStringLiteral("connectionPageVpnDisconnectedButtonGradientColor2"));
    }
    QString connectionPageVpnDisconnectedButtonGradientColor3() const
    {
        return value(QStringLiteral("connectionPageVpnDisconnectedButtonGradientColor3"));
    }
    QString connectionPageVpnSwitchLabelColor() const
    {
        return value(QStringLiteral("connectionPageVpnSwitchLabelColor"));
    }
    QString connectionPageVpnSwitchBackgroundColor() const
    {
        return value(QStringLiteral("connectionPageVpnSwitchBackgroundColor"));
    }
    QString connectionPageVpnDurationLabelColor() const
    {
        return value(QStringLiteral("connectionPageVpnDurationLabelColor"));
    }
    QString connectionPageVpnDurationBackgroundColor() const
    {
        return value(QStringLiteral("connectionPageVpnDurationBackgroundColor"));
    }
    QString connectionPageVpnTimerLabelColor() const
    {
        return value(QStringLiteral("connectionPageVpnTimerLabelColor"));
    }
    QString settingsPageDefaultLabelColor1() const
    {
        return value(QStringLiteral("settingsPageDefaultLabelColor1"));
    }
    QString settingsPageDefaultLabelColor2() const
    {
        return value(QStringLiteral("settingsPageDefaultLabelColor2"));
    }
    QString settingsPageHeaderBackgroundColor() const
    {
        return value(QStringLiteral("settingsPageHeaderBackgroundColor"));
    }

signals:
    // Exists for QML bindings only: the value is settled during construction.

private:
    void load();
    void fillBaseSet(bool dark);
    QString value(const QString& key) const
    {
        return m_style.value(key);
    }

    QString m_brandingFolder;
    bool m_brandingEnabled = true;
    bool m_darkStyle = false;
    QMap<QString, QString> m_style;
};
