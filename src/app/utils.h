#pragma once

#include <QString>
#include <QtGlobal>

class QTemporaryFile;

// Stateless helpers shared across the client.
namespace Utils {

QString boolToString(bool value);
QString flagImagePath(const QString& countryCode);
QString quoted(const QString& text);
bool isIpv4Address(const QString& text);
bool isIpv6Address(const QString& text);
QString anyAddress();

// On-disk copy of a (resource) file; the caller owns it and the copy goes with it. Null on failure.
QTemporaryFile* createLocalTemporaryFile(const QString& path);
// Creates the file, or truncates it to zero length.
void createEmptyFile(const QString& path);
// Sets the MTU of the adapter with that interface index; 0 or less means automatic.
void setInterfaceMtu(qint32 interfaceIndex, qint32 mtu);

} // namespace Utils
