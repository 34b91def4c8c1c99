#include "bundledfonts.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

void BundledFonts::install()
{
    // Fonts need a GUI application; a program without one draws no text.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr
        || QFont::substitutes(family()).contains(fallbackFamily(), Qt::CaseInsensitive)) {
        return;
    }
    const QDir folder(QStringLiteral(":/resources/fonts"));
    for (const QString& file : folder.entryList({ QStringLiteral("*.ttf") }, QDir::Files)) {
        QFontDatabase::addApplicationFont(folder.filePath(file));
    }
    // Qt looks in the substitutes of a family for the glyphs the family itself lacks.
    QFont::insertSubstitution(family(), fallbackFamily());
}
