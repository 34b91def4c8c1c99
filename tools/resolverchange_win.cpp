// The Windows side of the resolver change: the interfaces' registry keys (interfacedns.h), then the
// system's notice that an interface's configuration changed.
#include "resolverchange.h"

#ifdef Q_OS_WIN

#include <QVector>

#include <string>

// clang-format off
#include <windows.h>
// clang-format on

namespace ResolverChange {

namespace {

// DhcpNotifyConfigChange of dhcpcsvc.dll: has the IP configuration of an adapter read again.
using NotifyConfigChange = DWORD(WINAPI*)(
    LPWSTR server, LPWSTR adapter, BOOL newAddress, DWORD index, DWORD address, DWORD mask, int action);

std::wstring wide(const QString& text)
{
    return text.toStdWString();
}

QString failure(const QString& what, LONG code)
{
    return QStringLiteral("%1 (error %2)").arg(what).arg(code);
}

class WindowsRegistry : public InterfaceDns::Registry
{
public:
    bool keyExists(const QString& key) override
    {
        HKEY handle = nullptr;
        const LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(key).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle);
        if (code == ERROR_SUCCESS) {
            RegCloseKey(handle);
        }
        return code == ERROR_SUCCESS;
    }

    std::optional<QString> value(const QString& key, const QString& name, QString* error) override
    {
        error->clear();
        DWORD type = 0, size = 0;
        LONG code = RegGetValueW(HKEY_LOCAL_MACHINE, wide(key).c_str(), wide(name).c_str(),
            RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, &type, nullptr, &size);
        if (code == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        // A resolver list is short; anything longer is not one to keep.
        if (code == ERROR_SUCCESS && (type != REG_SZ || size > 64 * 1024)) {
            *error = QStringLiteral("%1\\%2 is not a short text").arg(key, name);
            return std::nullopt;
        }
        QVector<wchar_t> text(int(size / sizeof(wchar_t)) + 1, L'\0');
        DWORD bytes = DWORD(text.size() * sizeof(wchar_t));
        if (code == ERROR_SUCCESS) {
            code = RegGetValueW(HKEY_LOCAL_MACHINE, wide(key).c_str(), wide(name).c_str(),
                RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text.data(), &bytes);
        }
        if (code != ERROR_SUCCESS) {
            *error = failure(QStringLiteral("cannot read %1\\%2").arg(key, name), code);
            return std::nullopt;
        }
        return QString::fromWCharArray(text.constData());
    }

    QString setValue(const QString& key, const QString& name, const QString& text) override
    {
        HKEY handle = nullptr;
        LONG code = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &handle, nullptr);
        if (code == ERROR_SUCCESS) {
            const std::wstring data = wide(text);
            code = RegSetValueExW(handle, wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                DWORD((data.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(handle);
        }
        return code == ERROR_SUCCESS ? QString() : failure(QStringLiteral("cannot write %1\\%2").arg(key, name), code);
    }

    QString removeValue(const QString& key, const QString& name) override
    {
        const LONG code = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, wide(key).c_str(), wide(name).c_str());
        if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) {
            return QString();
        }
        return failure(QStringLiteral("cannot remove %1\\%2").arg(key, name), code);
    }

    QStringList subkeys(const QString& key) override
    {
        QStringList names;
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(key).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle)
            != ERROR_SUCCESS) {
            return names;
        }
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names << QString::fromWCharArray(name, int(length));
        }
        RegCloseKey(handle);
        return names;
    }

    QString removeKey(const QString& key) override
    {
        const LONG code = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide(key).c_str(), KEY_WOW64_64KEY, 0);
        if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) {
            return QString();
        }
        return failure(QStringLiteral("cannot remove %1").arg(key), code);
    }

    QString notify(const QString& guid) override
    {
        // Wine carries the registry but not this notice: its entry point only ends the process.
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
            return QStringLiteral("the servers are written, but Wine cannot be told to use them");
        }
        const HMODULE dhcp = LoadLibraryExW(L"dhcpcsvc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const auto notifyChange = dhcp == nullptr ? nullptr
                                                  : reinterpret_cast<NotifyConfigChange>(reinterpret_cast<void*>(
                                                      GetProcAddress(dhcp, "DhcpNotifyConfigChange")));
        if (notifyChange == nullptr) {
            return QStringLiteral("the servers are written, but the system cannot be told to use them");
        }
        std::wstring adapter = wide(guid);
        const DWORD code = notifyChange(nullptr, &adapter[0], FALSE, 0, 0, 0, 0);
        return code == ERROR_SUCCESS ? QString() : failure(QStringLiteral("the system was not told"), LONG(code));
    }
};

} // namespace

std::unique_ptr<InterfaceDns::Registry> systemRegistry()
{
    return std::make_unique<WindowsRegistry>();
}

QStringList apply(const ResolverConfig::Request& request)
{
    return InterfaceDns::apply(request, systemRegistry().get());
}

} // namespace ResolverChange

#endif
