// The program's files (data.htm, data.dat) in a directory that other programs, or a
// user who shares it, may fill with anything: a symbolic link to another file, a FIFO, a
// device. Such a name is never followed, written into, blocked on or read without
// bound; only a regular file is read, replaced or removed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace murelo {

/// Replaces the regular file at path, or creates it, with bytes: they go to a new file
/// beside it, which is then renamed over it, so that a reader never sees part of a file
/// and a full disk leaves the old one whole. False, with nothing changed, when the bytes
/// cannot be written or path names something other than a regular file (which is left
/// as it is).
bool ReplaceFile(const std::string& path, std::string_view bytes);

/// The first maxBytes bytes (at most) of the regular file at path; nothing when path
/// names anything else or cannot be read.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes);

/// Removes path when it is a regular file.
void RemoveRegularFile(const std::string& path);

}  // namespace murelo
