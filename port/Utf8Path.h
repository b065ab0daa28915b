// std::filesystem paths from and to this program's UTF-8 text. MinGW's
// library reads a narrow std::string handed to std::filesystem in the ANSI
// code page, so a name beyond it would miss or break on Windows; through
// char8_t it is read as UTF-8 there (UTF-16 at the API), and on Linux the
// bytes are taken as they are.
#pragma once

#include <filesystem>
#include <string>

namespace kestrun {

// The path named by the UTF-8 text `text`. Text that is no UTF-8 (a name in a
// settings file's own code page) is read as before, in the ANSI code page on
// Windows; on Linux it keeps its bytes.
std::filesystem::path PathFromUtf8(const std::string& text);

// The UTF-8 text of `path` (its bytes on Linux).
std::string Utf8OfPath(const std::filesystem::path& path);

}  // namespace kestrun
