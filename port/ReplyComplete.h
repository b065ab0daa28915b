// The rule that ends a read early: it returns true once what has arrived so
// far is a whole reply. An empty rule never ends a read early.
#pragma once

#include <functional>
#include <string>

namespace kestrun {

using ReplyComplete = std::function<bool(const std::string&)>;

}  // namespace kestrun
