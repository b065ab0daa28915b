// Shared by the command-line tests: a complete, valid set of values, config
// files written from values, and a small strict JSON reader for checking
// the --json output.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
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
  v.Number(ReportMode) = 2;
  v.Address(SriIp) = {10, 1, 2, 3};
  v.Text(SriPort) = "6000";
  v.Text(SmsGateway) = "+4917012345";
  v.Text(Apn) = "apn.example.net";
  v.Text(ApnUser) = "fleet";
  v.Text(ApnPassword) = "s3cret";
  v.Text(PositionDelay) = "30";
  v.Address(BeiIp) = {10, 9, 8, 7};
  v.Text(BeiPort) = "6001";
  v.Text(BeginTime) = "0700";
  v.Text(EndTime) = "1900";
  v.Text(SendInterval) = "15";
  v.Text(FixInterval) = "120";
  for (int n = 0; n < 4; ++n) {
    v.Number(FenceBox[n]) = 1;
    v.Text(Longitude[n]) = "113.91234" + std::to_string(n);
    v.Text(Latitude[n]) = "22.54321" + std::to_string(n);
    v.Text(Radius[n]) = std::to_string(500 + n);
    v.Text(CheckInterval[n]) = std::to_string(5 + n);
    v.Number(FenceType[n]) = n % 3;
  }
  v.Number(OverSpeedAlarm) = 1;
  v.Text(SpeedLimited) = "120";
  for (int i = 0; i < 8; ++i) v.Number(BacAlarmFlag[i]) = i % 2;
  v.Number(InfoReportFlag) = 0;  // the ninth flag of the run
  v.Text(InfoReportPeriod) = "60";
  v.Number(MovDetMode) = 1;
  v.Text(MovSpeed) = "10";
  v.Text(MovDistance) = "200";
  v.Text(SendNum) = "3";
  for (int k = 0; k < 5; ++k) {
    v.Number(KeyBox[k]) = 1;
    v.Text(PhoneNumber[k]) = "+4917000000" + std::to_string(k);
    v.Text(PhoneName[k]) = "Driver " + std::to_string(k);
    if (KpnEnable[k] > 0) v.Number(KpnEnable[k]) = 1;
    if (AutoAnswer[k] > 0) v.Number(AutoAnswer[k]) = 1;
  }
  v.Number(CallFilter) = 1;
  v.Number(MobileStart) = 0;
  v.Number(MobileEnd) = 9;
  v.Number(GglMode) = 1;
  for (int p = 0; p < 10; ++p) v.Text(WhiteNumber[p]) = "01701234" + std::to_string(50 + p);
  v.Number(AutoUnlock) = 1;
  v.Number(PinCheck) = 1;
  v.Text(Pin) = "1234";
  return v;
}

inline void WriteConfig(const std::string& path, const CFormValues& values, const std::string& version = "") {
  CIniFile file(path);
  WriteConfigFile(file, values, version);
}

// A JSON value, read strictly: one value, nothing but white space around it.
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

  static Json Parse(const std::string& text) {
    std::size_t at = 0;
    Json value = Value(text, at);
    Space(text, at);
    if (at != text.size()) throw std::runtime_error("text after the value");
    return value;
  }

 private:
  static void Space(const std::string& t, std::size_t& at) {
    while (at < t.size() && (t[at] == ' ' || t[at] == '\n' || t[at] == '\r' || t[at] == '\t')) ++at;
  }
  static void Expect(const std::string& t, std::size_t& at, const std::string& word) {
    if (t.compare(at, word.size(), word) != 0) throw std::runtime_error("expected " + word);
    at += word.size();
  }
  static Json Value(const std::string& t, std::size_t& at) {
    Space(t, at);
    if (at >= t.size()) throw std::runtime_error("unexpected end");
    Json v;
    const char c = t[at];
    if (c == '{') {
      v.type = Type::Object;
      ++at;
      Space(t, at);
      if (t[at] == '}') return ++at, v;
      while (true) {
        Space(t, at);
        const std::string name = String(t, at);
        Space(t, at);
        Expect(t, at, ":");
        v.members[name] = Value(t, at);
        Space(t, at);
        if (t[at] == ',') {
          ++at;
          continue;
        }
        Expect(t, at, "}");
        return v;
      }
    }
    if (c == '[') {
      v.type = Type::Array;
      ++at;
      Space(t, at);
      if (t[at] == ']') return ++at, v;
      while (true) {
        v.items.push_back(Value(t, at));
        Space(t, at);
        if (t[at] == ',') {
          ++at;
          continue;
        }
        Expect(t, at, "]");
        return v;
      }
    }
    if (c == '"') {
      v.type = Type::String;
      v.string = String(t, at);
      return v;
    }
    if (t.compare(at, 4, "true") == 0) return at += 4, v.type = Type::Bool, v.boolean = true, v;
    if (t.compare(at, 5, "false") == 0) return at += 5, v.type = Type::Bool, v;
    if (t.compare(at, 4, "null") == 0) return at += 4, v;
    std::size_t used = 0;
    v.number = std::stod(t.substr(at), &used);
    if (used == 0) throw std::runtime_error("not a value");
    at += used;
    v.type = Type::Number;
    return v;
  }
  static std::string String(const std::string& t, std::size_t& at) {
    Expect(t, at, "\"");
    std::string s;
    while (true) {
      if (at >= t.size()) throw std::runtime_error("open string");
      const char c = t[at++];
      if (c == '"') return s;
      if (static_cast<unsigned char>(c) < 0x20) throw std::runtime_error("raw control character");
      if (c != '\\') {
        s += c;
        continue;
      }
      const char e = t[at++];
      switch (e) {
        case '"':
        case '\\':
        case '/': s += e; break;
        case 'n': s += '\n'; break;
        case 't': s += '\t'; break;
        case 'r': s += '\r'; break;
        case 'b': s += '\b'; break;
        case 'f': s += '\f'; break;
        case 'u': {
          const unsigned code = static_cast<unsigned>(std::stoul(t.substr(at, 4), nullptr, 16));
          at += 4;
          if (code < 0x80) {
            s += static_cast<char>(code);
          } else if (code < 0x800) {
            s += static_cast<char>(0xC0 | (code >> 6));
            s += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            s += static_cast<char>(0xE0 | (code >> 12));
            s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default: throw std::runtime_error("bad escape");
      }
    }
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
