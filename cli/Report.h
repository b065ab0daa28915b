// How what one port's run came to (batch/PortReport.h) is shown: text
// lines, one JSON object, and the closing table when several ports ran.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/Compare.h"
#include "cli/Args.h"
#include "protocol/Identity.h"
#include "protocol/JsonText.h"

namespace kestrun::cli {

// The version of the JSON members: a new member keeps it, a member renamed
// or removed (or its meaning changed) raises it.
constexpr int kJsonSchema = 1;

// A value for the text output: quoted, with \\, \" and control bytes escaped.
std::string Quoted(const std::string& value);

// `quiet`: a port that did its work shows only its results (differences).
void PrintText(std::ostream& out, const batch::PortReport& report, bool quiet = false);
void PrintJson(std::ostream& out, const batch::PortReport& report);
// The one object of a run refused before any port: {"schema":1,"error":...,"exitCode":2}.
void PrintJsonError(std::ostream& out, const std::string& error, int exitCode);
// identify: PORT DEVICE IMEI ICCID FIRMWARE SIGNAL, one row per port.
void PrintIdentityTable(std::ostream& out, const std::vector<batch::PortReport>& reports);
void PrintClosingTable(std::ostream& out, const std::vector<batch::PortReport>& reports);

}  // namespace kestrun::cli
