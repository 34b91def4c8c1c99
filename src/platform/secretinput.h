#pragma once

#include <QString>

// A secret typed by the user on the terminal, or piped in: never echoed, never an argument.
namespace SecretInput {

// Reads one line from standard input, at most maxBytes of UTF-8, its line end dropped. On a terminal
// it first writes the prompt to standard error and turns the echo off while the user types. False on
// an end of input before any text, a line too long, or text that is not UTF-8.
bool readLine(const QString& prompt, int maxBytes, QString* secret);

// The system's part (secretinput_linux.cpp, secretinput_win.cpp).
namespace detail {
// On a terminal: the prompt shown and the echo off; true when the echo must be restored.
bool quiet(const QString& prompt);
void restore();
// One byte of standard input; false at its end.
bool readByte(char* c);
} // namespace detail

} // namespace SecretInput
