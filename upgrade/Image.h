// The firmware image file and the command that follows it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The only image size the modem takes: 512 KiB.
constexpr int64_t kImageSize = 524288;

// Opens `path` for binary reading if it names a regular file (a symbolic
// link to one is fine). Returns the open file, or null for a missing,
// unreadable or special file (directory, FIFO, device), opening nothing.
FILE* OpenImageFile(const std::string& path);

// The size of an open file, found by seeking to its end; the file is then
// rewound. Returns -1 when it cannot be measured (position then undefined).
int64_t ImageFileSize(FILE* file);

// What the Upgrade command says once the image is in and the country code
// is back: the one outcome that is a success.
extern const char* const kMsgUpgraded;

// "AT*NC<code>&F": sets the country code back, with factory defaults.
std::string RestoreCountryCommand(int32_t country);
