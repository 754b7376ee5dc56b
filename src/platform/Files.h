// File system access: the existence test, whole-file reading with other
// writers locked out, and decoding of text files into lines.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Strings.h"
#include "platform/Text.h"

namespace vantrel {

// True when the path names something that exists and is not a directory
// (symbolic links followed).
bool FileExists(const String &path);

// Reads the whole file while holding a shared lock on it. Raises EFOpenError
// "Cannot open file "%s". %s" (full path, system text) when it cannot be
// opened, and EFOpenError with the system text when reading fails.
std::vector<uint8_t> ReadWholeFile(const String &path);

// Absolute form of a path (relative to the current directory), without
// resolving symbolic links.
String ExpandFileName(const String &path);

// Decodes text file bytes: a byte-order mark selects UTF-8, UTF-16 LE or
// UTF-16 BE; without one the default narrow code page applies. The first
// NUL character ends the text.
String DecodeTextFile(const std::vector<uint8_t> &bytes);

// ReadWholeFile + DecodeTextFile + line splitting into the list.
void LoadLinesFromFile(const String &path, TStringList &lines);

}  // namespace vantrel
