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

// Raises EFOpenError "File name contains a NUL character": the system would
// cut such a name at the NUL and so name another file.
void CheckFileName(const String &path);

// CheckFileName, then refuses with EFOpenError "Cannot open file "%s". Not a
// regular file" a path that names (through links) a FIFO, device or socket:
// opening a FIFO blocks until a writer comes, and a device may never end.
// A directory gets the system text for EISDIR; a path that names nothing
// passes (opening it reports that).
void CheckRegularFile(const String &path);

// Reads the whole file while holding a shared lock on it; the file must be a
// regular one (CheckRegularFile). Raises EFOpenError "Cannot open file "%s".
// %s" (full path, system text) when it cannot be opened, and EFOpenError
// with the system text when reading fails.
std::vector<uint8_t> ReadWholeFile(const String &path);

// Absolute form of a path (relative to the current directory), without
// resolving symbolic links.
String ExpandFileName(const String &path);

// Raises EFOpenError "Cannot open file "%s". %s" with the full path and the
// reason.
[[noreturn]] void RaiseCannotOpen(const String &path, const String &reason);

// Decodes the bytes of the text file at path: a byte-order mark selects
// UTF-8, UTF-16 LE or UTF-16 BE. Without one, the code page that
// VANTREL_ANSI_CODEPAGE names when it is set; otherwise UTF-8 when the bytes
// are valid UTF-8, else Windows-1251 (the update module's connection
// character set). Nothing is replaced or cut: a NUL character, a byte that
// the chosen decoding cannot decode, or an unpaired UTF-16 surrogate, raises
// EEncodingError naming the file (full path) and the 1-based line.
String DecodeTextFile(const std::vector<uint8_t> &bytes, const String &path);

// ReadWholeFile + DecodeTextFile + line splitting into the list; the list is
// left alone when reading or decoding fails.
void LoadLinesFromFile(const String &path, TStringList &lines);

}  // namespace vantrel
