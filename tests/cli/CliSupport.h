// Shared by the command-line tests: a complete, valid set of values, config
// files written from values, and the --json output read by an independent
// JSON parser.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/ControlIds.h"
#include "protocol/FormValues.h"
#include "settings/ConfigFile.h"
#include "settings/IniFile.h"

namespace kestrun::testing {

// Every group filled with values that pass the form's rules, every fence and
// keypad row ticked, the whole white list in range.
inline CFormValues FullValues() {
  using namespace ctl;
  CFormValues v;
  const std::pair<int, const char*> texts[] = {
      {SriPort, "6000"},
      {SmsGateway, "+4917012345"},
      {Apn, "apn.example.net"},
      {ApnUser, "fleet"},
      {ApnPassword, "s3cret"},
      {PositionDelay, "30"},
      {BeiPort, "6001"},
      {BeginTime, "0700"},
      {EndTime, "1900"},
      {SendInterval, "15"},
      {FixInterval, "120"},
      {SpeedLimited, "120"},
      {InfoReportPeriod, "60"},
      {MovSpeed, "10"},
      {MovDistance, "200"},
      {SendNum, "3"},
      {Pin, "1234"},
  };
  for (const auto& [id, text] : texts) v.Text(id) = text;
  // InfoReportFlag: the ninth flag of the run, after BAC's eight.
  const std::pair<int, int> numbers[] = {
      {ReportMode, 2},  {OverSpeedAlarm, 1}, {InfoReportFlag, 0}, {MovDetMode, 1}, {CallFilter, 1},
      {MobileStart, 0}, {MobileEnd, 9},      {GglMode, 1},        {AutoUnlock, 1}, {PinCheck, 1}};
  for (const auto& [id, number] : numbers) v.Number(id) = number;
  v.Address(SriIp) = {10, 1, 2, 3};
  v.Address(BeiIp) = {10, 9, 8, 7};
  for (int n = 0; n < 4; ++n) {
    v.Number(FenceBox[n]) = 1;
    v.Text(Longitude[n]) = "113.91234" + std::to_string(n);
    v.Text(Latitude[n]) = "22.54321" + std::to_string(n);
    v.Text(Radius[n]) = std::to_string(500 + n);
    v.Text(CheckInterval[n]) = std::to_string(5 + n);
    v.Number(FenceType[n]) = n % 3;
  }
  for (int i = 0; i < 8; ++i) v.Number(BacAlarmFlag[i]) = i % 2;
  for (int k = 0; k < 5; ++k) {
    v.Number(KeyBox[k]) = 1;
    v.Text(PhoneNumber[k]) = "+4917000000" + std::to_string(k);
    v.Text(PhoneName[k]) = "Driver " + std::to_string(k);
    if (KpnEnable[k] > 0) v.Number(KpnEnable[k]) = 1;
    if (AutoAnswer[k] > 0) v.Number(AutoAnswer[k]) = 1;
  }
  for (int p = 0; p < 10; ++p) v.Text(WhiteNumber[p]) = "01701234" + std::to_string(50 + p);
  return v;
}

inline void WriteConfig(const std::string& path, const CFormValues& values, const std::string& version = "") {
  CIniFile file(path);
  WriteConfigFile(file, values, version);
}

// A JSON value as the tests look at it, read by nlohmann/json, a parser of
// its own: strictly one value with nothing but white space around it, and
// strings of valid UTF-8 only. Throws on anything else.
struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& name) const {
    const auto found = members.find(name);
    if (type != Type::Object || found == members.end()) throw std::runtime_error("no member " + name);
    return found->second;
  }
  bool Has(const std::string& name) const { return members.count(name) > 0; }

  static Json Parse(const std::string& text) { return From(nlohmann::json::parse(text)); }

 private:
  static Json From(const nlohmann::json& j) {
    using Kind = nlohmann::json::value_t;
    Json v;
    switch (j.type()) {
      case Kind::null: break;
      case Kind::boolean:
        v.type = Type::Bool;
        v.boolean = j.get<bool>();
        break;
      case Kind::number_integer:
      case Kind::number_unsigned:
      case Kind::number_float:
        v.type = Type::Number;
        v.number = j.get<double>();
        break;
      case Kind::string:
        v.type = Type::String;
        v.string = j.get<std::string>();
        break;
      case Kind::array:
        v.type = Type::Array;
        for (const nlohmann::json& item : j) v.items.push_back(From(item));
        break;
      case Kind::object:
        v.type = Type::Object;
        for (const auto& [name, item] : j.items()) v.members[name] = From(item);
        break;
      default: throw std::runtime_error("not a JSON text value");
    }
    return v;
  }
};

// One JSON value per non-empty line.
inline std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> values;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) values.push_back(Json::Parse(text.substr(start, end - start)));
    start = end + 1;
  }
  return values;
}

}  // namespace kestrun::testing
