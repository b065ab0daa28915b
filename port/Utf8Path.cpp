#include "port/Utf8Path.h"

#include <exception>

namespace kestrun {

std::filesystem::path PathFromUtf8(const std::string& text) {
  try {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
  } catch (const std::exception&) {
    // Windows only: the text is no UTF-8; Linux copies the bytes and never throws.
    return std::filesystem::path(text);
  }
}

std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kestrun
