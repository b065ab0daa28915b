// The identity queries' replies as the tracker's GSM module gives them, and
// what each comes to.
#include <gtest/gtest.h>

#include "protocol/Identity.h"

using namespace kestrun;

namespace {

enum class Query { Imei, Iccid, Signal };

struct IdentityCase {
  const char* name;
  Query query;
  const char* reply;
  bool found;
  const char* item;  // the IMEI or ICCID; empty for the signal
  bool imeiValid;
  int rssi, ber;
};

const IdentityCase kCases[] = {
    {"bare IMEI", Query::Imei, "AT+CGSN\r\r\n490154203237518\r\n\r\nOK\r\n", true, "490154203237518", true,
     -1, -1},
    {"IMEI after +CGSN:", Query::Imei, "AT+CGSN\r\r\n+CGSN: \"352099001761481\"\r\n\r\nOK\r\n", true,
     "352099001761481", true, -1, -1},
    {"IMEI with a bad check digit", Query::Imei, "AT+CGSN\r\r\n490154203237519\r\n\r\nOK\r\n", true,
     "490154203237519", false, -1, -1},
    {"IMEI of 14 digits", Query::Imei, "\r\n49015420323751\r\nOK\r\n", true, "49015420323751", false, -1, -1},
    {"IMEI refused", Query::Imei, "AT+CGSN\r\r\nERROR\r\n", false, "", false, -1, -1},
    {"IMEI without OK", Query::Imei, "AT+CGSN\r\r\n490154203237518\r\n", false, "", false, -1, -1},
    {"ICCID of 19 digits", Query::Iccid, "AT+CCID\r\r\n+CCID: 8944000000000000211\r\n\r\nOK\r\n", true,
     "8944000000000000211", false, -1, -1},
    {"ICCID of 20 digits after +ICCID:", Query::Iccid, "\r\n+ICCID: 89490200001234567890\r\nOK\r\n", true,
     "89490200001234567890", false, -1, -1},
    {"bare ICCID with a trailing F", Query::Iccid, "AT+CCID\r\r\n894902000012345678f\r\nOK\r\n", true,
     "894902000012345678F", false, -1, -1},
    {"ICCID too short", Query::Iccid, "\r\n+CCID: 894400000000\r\nOK\r\n", false, "", false, -1, -1},
    {"ICCID refused", Query::Iccid, "AT+CCID\r\r\nERROR\r\n", false, "", false, -1, -1},
    {"signal", Query::Signal, "AT+CSQ\r\r\n+CSQ: 21,0\r\n\r\nOK\r\n", true, "", false, 21, 0},
    {"signal 99 is unknown", Query::Signal, "AT+CSQ\r\r\n+CSQ: 99,99\r\n\r\nOK\r\n", true, "", false, -1, -1},
    {"signal out of range", Query::Signal, "\r\n+CSQ: 45,0\r\nOK\r\n", false, "", false, -1, -1},
    {"signal refused", Query::Signal, "AT+CSQ\r\r\nERROR\r\n", false, "", false, -1, -1},
};

TEST(IdentityTest, RepliesGiveTheirItemOrNothing) {
  for (const IdentityCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TrackerIdentity id;
    bool found = false;
    switch (c.query) {
      case Query::Imei: found = ParseImei(c.reply, id.imei, id.imeiValid); break;
      case Query::Iccid: found = ParseIccid(c.reply, id.iccid); break;
      case Query::Signal: found = ParseSignal(c.reply, id.rssi, id.ber); break;
    }
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(c.query == Query::Iccid ? id.iccid : id.imei, c.query == Query::Signal ? "" : c.item);
    EXPECT_EQ(id.imeiValid, c.imeiValid);
    EXPECT_EQ(id.Key(), c.imeiValid ? c.item : "");
    EXPECT_EQ(id.rssi, c.rssi);
    EXPECT_EQ(id.ber, c.ber);
  }
}

}  // namespace
