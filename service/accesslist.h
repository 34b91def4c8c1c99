#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Whether a Windows access list lets an account other than the system's change a file or folder,
// decided without the system so that it is tested everywhere. The service runs only programs that
// no other account can replace: a right to change them, their folders' contents or their access
// lists is such a way.
namespace AccessList {

struct Entry
{
    QString sid;
    quint32 mask = 0;
    // An entry that allows (a denying one only ever takes rights away).
    bool allows = true;
    // An entry that only passes to objects created inside, not to the object itself.
    bool inheritOnly = false;
};

// Writing or appending data (in a folder: adding files and folders), deleting it or a child,
// writing its attributes, its access list or its owner, and the generic rights that include them.
constexpr quint32 changingRights
    = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000;

// The accounts that stand for the system: LocalSystem, Administrators, TrustedInstaller.
QStringList systemAccounts();

// Why an account outside `trusted` may change the object, or empty when none may. owner: the
// object's owner, who may always rewrite its access list. hasList: false for a null access list,
// which lets everyone do everything.
QString problem(const QString& owner, bool hasList, const QList<Entry>& entries, const QStringList& trusted);

} // namespace AccessList
