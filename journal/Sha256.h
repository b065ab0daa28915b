// SHA-256 of a byte string, as lowercase hex: what the journal records as
// the hash of the settings sent.
#pragma once

#include <string>
#include <string_view>

namespace kestrun::journal {

std::string Sha256Hex(std::string_view bytes);

}  // namespace kestrun::journal
