// A stand-in for the installed programs in the installer's test: it appends its name and arguments
// to C:\standin.log. As vpn-service.exe it is a Windows service that logs its start and its stop.
#include <windows.h>

#include <cstdio>
#include <string>

static SERVICE_STATUS status = { SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0 };
static SERVICE_STATUS_HANDLE handle = nullptr;
static HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);

static void note(const std::string& line)
{
    if (FILE* file = std::fopen("C:\\standin.log", "ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

static DWORD WINAPI control(DWORD code, DWORD, void*, void*)
{
    return code == SERVICE_CONTROL_STOP && SetEvent(stopped) ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

static void WINAPI serviceMain(DWORD, char**)
{
    handle = RegisterServiceCtrlHandlerExA("", control, nullptr);
    SetServiceStatus(handle, &status);
    note("service start");
    WaitForSingleObject(stopped, INFINITE);
    note("service stop");
    status.dwCurrentState = SERVICE_STOPPED;
    SetServiceStatus(handle, &status);
}

int main(int argc, char* argv[])
{
    std::string line = argv[0];
    line = line.substr(line.find_last_of('\\') + 1);
    line = line.substr(0, line.rfind('.'));
    SERVICE_TABLE_ENTRYA table[] = { { const_cast<char*>(""), serviceMain }, { nullptr, nullptr } };
    if (line == "vpn-service") {
        return StartServiceCtrlDispatcherA(table) ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i) {
        line += std::string(" ") + argv[i];
    }
    note(line);
    return 0;
}
