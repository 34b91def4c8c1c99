#include "serverfiltermodel.h"

#include "servers/countrynames.h"
#include "servers/serverlistmodel.h"

ServerFilterModel::ServerFilterModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setObjectName(QStringLiteral("ServerFilterModel"));
    // A marked or unmarked favourite moves at once.
    setDynamicSortFilter(true);
    sort(0);
    for (auto changed : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved }) {
        connect(this, changed, this, &ServerFilterModel::updateCount);
    }
    connect(this, &QAbstractItemModel::modelReset, this, &ServerFilterModel::updateCount);
    connect(this, &QAbstractItemModel::layoutChanged, this, &ServerFilterModel::updateCount);
}

QString ServerFilterModel::searchText() const
{
    return text;
}

void ServerFilterModel::setSearchText(const QString& searchText)
{
    if (text == searchText) {
        return;
    }
    text = searchText;
    words = folded(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    invalidateFilter();
    emit searchTextChanged(text);
    updateCount();
}

int ServerFilterModel::count() const
{
    return rowCount();
}

void ServerFilterModel::updateCount()
{
    if (lastCount != rowCount()) {
        lastCount = rowCount();
        emit countChanged(lastCount);
    }
}

int ServerFilterModel::startRow() const
{
    if (rowCount() == 0) {
        return -1;
    }
    const auto* servers = qobject_cast<const ServerListModel*>(sourceModel());
    if (!words.isEmpty() || servers == nullptr) {
        return 0;
    }
    return qMax(0, mapFromSource(servers->index(servers->chosenRow())).row());
}

QString ServerFilterModel::folded(const QString& text)
{
    QString plain;
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_SpacingCombining) {
            plain += c.isSpace() ? QChar(QLatin1Char(' ')) : c;
        }
    }
    return plain.toCaseFolded();
}

bool ServerFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (words.isEmpty()) {
        return true;
    }
    const QModelIndex row = sourceModel()->index(sourceRow, 0, sourceParent);
    const QString code = row.data(ServerListModel::Country).toString();
    const QString place = folded(QStringList { row.data(ServerListModel::CountryName).toString(),
        CountryNames::englishName(code), row.data(ServerListModel::City).toString() }
                                     .join(QLatin1Char(' ')));
    const QString foldedCode = folded(code);
    // Every word typed must be found, so "de berlin" narrows as much as "berlin".
    for (const QString& word : words) {
        if (!place.contains(word) && word != foldedCode) {
            return false;
        }
    }
    return true;
}

bool ServerFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const bool leftFavourite = left.data(ServerListModel::Favourite).toBool();
    const bool rightFavourite = right.data(ServerListModel::Favourite).toBool();
    if (leftFavourite != rightFavourite) {
        return leftFavourite;
    }
    return left.row() < right.row();
}
