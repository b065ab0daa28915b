#pragma once

#include <string>

#include "protocol/CommandRecord.h"
#include "protocol/Fields.h"

namespace kestrun {

// RVSRI: report mode, GPRS access point and main server registration.
class CSriCommand : public CCommandRecord {
 public:
  CSriCommand() : CCommandRecord("SRI") {}
  bool Build();
  bool Parse(const std::string& reply);

  int reportMode = 0;
  int longConnection = 0;
  Octets serverIp{};
  std::string serverPort, smsGateway, apnUser, apnPassword, apn;
  std::string commandLine;
};

}  // namespace kestrun
