// Files and paths, the ticking clock and sleeping.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace elo {

bool FileExists(const std::string& path);
// The directory of the running program, with a trailing "/".
std::string ProgramDirectory();
std::string ExtractFileName(std::string_view path);                     // "dir/a.nlx" -> "a.nlx"
std::string ExtractFileDir(std::string_view path);                      // "dir/a.nlx" -> "dir"; "" without a directory
std::string ChangeFileExt(std::string_view path, std::string_view ext); // "dir/a.x" + ".nlx" -> "dir/a.nlx"
std::string ExtractFileExt(std::string_view path);                      // ".nlx"
// The path search: a name with a directory part is taken as it is; a bare name
// is looked for in the current directory, then in each directory of PATH. The
// default extension is added when the name has none. Empty when not found.
std::string SearchPath(std::string_view name, std::string_view defaultExt);

// The path made absolute against the current directory (lexically, without
// following links); an absolute path comes back as it is.
std::string AbsolutePath(const std::string& path);
// Milliseconds of a steady clock.
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);

} // namespace elo
