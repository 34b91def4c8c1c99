#pragma once

#include <QSortFilterProxyModel>
#include <QStringList>

// The server list as the list window shows it: the rows that match what the user typed, by country (in the
// language in use or in English, or its code) or by city, the favourites first, each group in feed order.
class ServerFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit ServerFilterModel(QObject* parent = nullptr);

    QString searchText() const;
    void setSearchText(const QString& text);
    int count() const;

    // Where the keyboard selection starts: on the chosen server while nothing is typed, so Return keeps it;
    // on the first match once something is, so Return takes it. -1 when no row is shown.
    Q_INVOKABLE int startRow() const;

    // Text as matched: case and accents fall away, so "zurich" finds Zürich and a Russian "е" finds "ё".
    static QString folded(const QString& text);

signals:
    void searchTextChanged(const QString& text);
    void countChanged(int count);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QString text;
    QStringList words;
    int lastCount = 0;
    void updateCount();
};
