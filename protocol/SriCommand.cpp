#include "protocol/SriCommand.h"

#include "protocol/CommandLine.h"

namespace kestrun {

bool CSriCommand::Build() {
  commandLine = Line({Dec(reportMode), Dec(longConnection), apn, apnUser, apnPassword,
                      FormatAddress(serverIp), serverPort, smsGateway});
  return true;
}

bool CSriCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  password = f[0];
  reportMode = ReadNumber(f[1]);
  longConnection = ReadNumber(f[2]);
  apn = f[3];
  apnUser = f[4];
  apnPassword = f[5];
  if (!ParseDottedAddress(f[6], serverIp)) serverIp = {};
  serverPort = f[7];
  smsGateway = f[8];
  return true;
}

}  // namespace kestrun
