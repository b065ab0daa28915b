// The comparison of a config file with a tracker, shared with the window
// (settings/KeyCompare), under the names the command line uses.
#pragma once

#include "settings/KeyCompare.h"

namespace kestrun::batch {

using kestrun::Compare;
using kestrun::Difference;
using kestrun::GroupOfSection;
using kestrun::KeyText;
using kestrun::ReadKeys;
using kestrun::RowOf;
using kestrun::SentKeys;

}  // namespace kestrun::batch
