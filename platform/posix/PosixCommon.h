#pragma once
// Helpers shared by the Linux implementations of the platform services: file names in
// UTF-8, errno translated into Windows error numbers and C run-time errno numbers, and
// time stamps as Windows file times. Internal to platform/posix.

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/XpChar.h"

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD). length -1: up to the terminator.
std::string XpPosixToUtf8(const XpChar* text, std::ptrdiff_t length = -1);
// UTF-8 to UTF-16 (invalid bytes become U+FFFD).
XpPlatformString XpPosixFromUtf8(const char* text, std::size_t length);
inline XpPlatformString XpPosixFromUtf8(const std::string& text)
{
    return XpPosixFromUtf8(text.data(), text.size());
}

// errno -> Windows error number. ENOENT is told apart by the path it concerns: the file
// is missing (FileNotFound) or a folder on the way to it is (PathNotFound).
uint32_t XpPosixWinError(int error, const std::string& path = std::string());
// errno -> the Windows C run-time's errno number (XpCrtErrno).
int XpPosixCrtErrno(int error);

// Seconds and nanoseconds since 1970 <-> 100-nanosecond intervals since 1601.
uint64_t XpPosixToFileTime(const struct timespec& time);
struct timespec XpPosixFromFileTime(uint64_t fileTime);

// Whether an X display is named (DISPLAY) and answers: without one no program started
// from here can show a window.
bool XpPosixDisplayAnswers();
