// A stand-in for the installed programs in the installer's test: it appends what it was asked to
// C:\standin.log. As vpn-service.exe it is a Windows service that logs its start and its stop; as
// any other program it logs its name and arguments.
#include <windows.h>

#include <string>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void note(const std::wstring& line)
{
    const HANDLE file = CreateFileW(L"C:\\standin.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(size - 1), &written, nullptr);
    CloseHandle(file);
}

void report(DWORD state)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*)
{
    if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**)
{
    statusHandle = RegisterServiceCtrlHandlerExW(L"", control, nullptr);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    report(SERVICE_RUNNING);
    note(L"service start");
    WaitForSingleObject(stopEvent, INFINITE);
    note(L"service stop");
    report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    std::wstring name = argv[0];
    name = name.substr(name.find_last_of(L"\\/") + 1);
    if (_wcsicmp(name.c_str(), L"vpn-service.exe") == 0) {
        SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), serviceMain}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherW(table) ? 0 : 1;
    }
    std::wstring line = name.substr(0, name.rfind(L'.'));
    for (int i = 1; i < argc; ++i) {
        line += L' ';
        line += argv[i];
    }
    note(line);
    return 0;
}
