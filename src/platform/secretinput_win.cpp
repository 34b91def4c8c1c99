// The Windows side of reading a secret: the console's echo is off while the user types.
#include "secretinput.h"

#ifdef Q_OS_WIN

#include <cstdio>
#include <windows.h>

namespace SecretInput::detail {

namespace {

DWORD savedMode = 0;

} // namespace

bool quiet(const QString& prompt)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &savedMode) == 0) {
        return false;
    }
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    return SetConsoleMode(input, savedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

void restore()
{
    SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), savedMode);
    std::fputs("\n", stderr);
}

bool readByte(char* c)
{
    DWORD read = 0;
    return ReadFile(GetStdHandle(STD_INPUT_HANDLE), c, 1, &read, nullptr) != 0 && read == 1;
}

} // namespace SecretInput::detail

#endif
