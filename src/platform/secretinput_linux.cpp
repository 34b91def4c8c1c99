// The Linux side of reading a secret: termios turns the terminal's echo off while the user types.
#include "secretinput.h"

#ifndef Q_OS_WIN

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace SecretInput::detail {

namespace {

termios saved = {};

} // namespace

bool quiet(const QString& prompt)
{
    if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &saved) != 0) {
        return false;
    }
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios noEcho = saved;
    noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    return ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho) == 0;
}

void restore()
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
}

bool readByte(char* c)
{
    return ::read(STDIN_FILENO, c, 1) == 1;
}

} // namespace SecretInput::detail

#endif
