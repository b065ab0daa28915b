#include "batch/TableCells.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "batch/Compare.h"
#include "batch/ConfigCheck.h"
#include "batch/CsvRecords.h"
#include "batch/PortReport.h"
#include "protocol/ControlChars.h"
#include "protocol/Identity.h"
#include "protocol/Trimmed.h"
#include "protocol/ValueRules.h"
#include "protocol/WholeNumber.h"

namespace kestrun::batch {

namespace {

const char* const kSpreadsheetNumber = "a spreadsheet turned it into a number: format the column as text";

// Cells a spreadsheet writes in place of a value it could not compute: the
// value was typed as (or taken for) a formula.
constexpr const char* kFormulaErrors[] = {"#NAME?", "#VALUE!", "#REF!",  "#N/A",
                                          "#NUM!",  "#DIV/0!", "#NULL!", "Err:"};

bool IsFormulaDamage(const std::string& text) {
  if (!text.empty() && text[0] == '=') return true;
  return std::any_of(std::begin(kFormulaErrors), std::end(kFormulaErrors),
                     [&](const char* error) { return text.rfind(error, 0) == 0; });
}

// std::isdigit takes no plain char: bytes of 0x80 and up would be negative.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "8.6E+14", "8,6E+14": how a spreadsheet shows a long number in a general
// cell (digits, a decimal part, E, a sign, digits). Scanned by hand: the
// standard library's regex matcher recurses once per character and overflows
// the stack on a cell of some ten thousand digits.
bool IsExponentForm(std::string_view text) {
  std::size_t at = 0;
  auto digits = [&] {
    const std::size_t from = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at > from;
  };
  if (!digits()) return false;
  if (at < text.size() && (text[at] == '.' || text[at] == ',') && (++at, !digits())) return false;
  if (at == text.size() || (text[at] != 'e' && text[at] != 'E')) return false;
  ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  return digits() && at == text.size();
}

}  // namespace

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

namespace {

// The config key `section`/`key` in any letter case, or null.
const ConfigKey* KeyNamed(const std::string& section, const std::string& key) {
  for (const ConfigKey& k : ConfigKeys())
    if (Lower(section) == Lower(k.section) && Lower(key) == Lower(k.key)) return &k;
  return nullptr;
}

bool IsKnownSection(const std::string& section) {
  const std::vector<ConfigKey>& keys = ConfigKeys();
  return std::any_of(keys.begin(), keys.end(),
                     [&](const ConfigKey& k) { return Lower(section) == Lower(k.section); });
}

// The key of the first octet of the section's address ("RVSRI/IP1"), or null.
const ConfigKey* AddressOf(const std::string& section) {
  for (const ConfigKey& k : ConfigKeys())
    if (Lower(section) == Lower(k.section) && k.encoding == Encoding::Octet && k.octet == 0) return &k;
  return nullptr;
}

// The address's name without its octet number: "IP1" -> "IP".
std::string AddressStem(const ConfigKey& first) { return first.key.substr(0, first.key.size() - 1); }

// A key name someone may have meant for the address: "IP5", "Server IP", "IP address".
bool LooksLikeAddress(const std::string& key) {
  std::string letters;
  for (const char c : Lower(key))
    if (std::isalnum(static_cast<unsigned char>(c))) letters += c;
  const std::size_t ip = letters.find("ip");
  return ip == 0 || (ip != std::string::npos && ip + 2 == letters.size()) ||
         letters.find("addr") != std::string::npos;
}

// Why the key may not be a column: write never sends it, or the template does not.
std::string SendProblem(const ConfigKey& k, const std::set<std::string>& templateSections) {
  Group group;
  if (k.id == 0 || !GroupOfSection(k.section, group) || group == Group::Rto)
    return "is not a value write sends";
  if (!templateSections.count(k.section))
    return std::string("is in a group the template does not send ([") + k.section + "])";
  return {};
}

bool IsSpace(const std::string& text, std::size_t at, std::size_t& length) {
  // U+0020; U+00A0 no-break, U+2009 thin and U+202F narrow no-break space in UTF-8.
  for (const char* space : {" ", "\xC2\xA0", "\xE2\x80\x89", "\xE2\x80\xAF"}) {
    length = std::char_traits<char>::length(space);
    if (text.compare(at, length, space) == 0) return true;
  }
  return false;
}

}  // namespace

std::string ColumnProblem(const std::string& name, const std::set<std::string>& templateSections,
                          TableColumn& column) {
  column = TableColumn{TableColumn::Kind::Value, name, nullptr};
  if (!name.empty() && name[0] == '#') {
    column.kind = TableColumn::Kind::Note;
    return Trimmed(name.substr(1)).empty() ? "is a # without a name: a column of notes is named #Vehicle"
                                           : std::string();
  }
  const std::string asNotes = name.empty() ? "" : ": to keep it as notes, name it #" + ShownText(name);
  const std::size_t slash = name.find('/');
  if (slash == std::string::npos)
    return "is not a column this table may have (IMEI, COM or SECTION/Key)" + asNotes;
  const std::string section = name.substr(0, slash), key = name.substr(slash + 1);
  // A key the template does not send names no key to set.
  auto sent = [&](const ConfigKey& k) {
    std::string why = SendProblem(k, templateSections);
    if (!why.empty()) column.key = nullptr;
    return why;
  };
  if (const ConfigKey* k = KeyNamed(section, key)) {
    column.key = k;
    column.name = std::string(k->section) + "/" + k->key;
    return sent(*k);
  }
  const ConfigKey* first = AddressOf(section);
  if (first && Lower(key) == Lower(AddressStem(*first))) {
    column = {TableColumn::Kind::Address, std::string(first->section) + "/" + AddressStem(*first), first};
    return sent(*first);
  }
  if (!IsKnownSection(section))
    return "is not a key of the config file (SECTION/Key as in the file, e.g. RVKPN/PhoneNum1)" + asNotes;
  if (first && LooksLikeAddress(key)) {
    const std::string stem = std::string(first->section) + "/" + AddressStem(*first);
    return "is not a key of the config file: the address is " + stem + " (a.b.c.d) or " + stem + "1 to " +
           stem + "4 (one part each)";
  }
  return "is not a key of the config file (SECTION/Key as in the file, e.g. RVKPN/PhoneNum1)";
}

const ConfigKey& OctetKey(const ConfigKey& first, int index) {
  for (const ConfigKey& k : ConfigKeys())
    if (k.id == first.id && k.encoding == Encoding::Octet && k.octet == index) return k;
  return first;  // not reached: every address has four octet keys
}

std::string AddressProblem(const std::string& value, std::array<int, 4>& octets) {
  std::vector<std::string> parts(1);
  for (const char c : value) {
    if (c == '.')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  const std::string why = QuotedValue(value) + " is not an address a.b.c.d (each part 0 to 255): ";
  if (parts.size() != 4) return why + "it has " + Plural(parts.size(), "part");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool digits =
        parts[i].size() <= 3 && IsDigits(parts[i]);
    const std::optional<long long> octet = digits ? ParseWholeWithin(parts[i], 0, 255) : std::nullopt;
    if (!octet) return why + "part " + std::to_string(i + 1) + " is " + QuotedValue(parts[i]);
    octets[i] = static_cast<int>(*octet);
  }
  return {};
}

std::string Tidied(const ConfigKey& key, const std::string& value) {
  const FormField* field = FindFormField(key.id);
  const ValueRule rule = field ? field->rule : ValueRule::None;
  const bool phone = rule == ValueRule::Phone;
  const bool number = key.encoding != Encoding::Text || (rule != ValueRule::None && rule != ValueRule::Text);
  if (!number && !phone) return value;
  std::string tidied;
  for (std::size_t i = 0, length = 1; i < value.size(); i += length) {
    if (IsSpace(value, i, length)) continue;
    length = 1;
    if (phone && std::string_view("-()/").find(value[i]) != std::string_view::npos) continue;
    tidied += value[i];
  }
  return tidied.empty() ? value : tidied;
}

std::string ValueProblem(const ConfigKey& key, const std::string& value) {
  const FormField* field = FindFormField(key.id);
  // A PIN or password cell is never repeated in a refusal: the refusal goes
  // to the terminal, the dry run and the report.
  const bool secret = IsSecretKey(key);
  const std::string shown = secret ? std::string(kSecretNotShown) : QuotedValue(value);
  if (IsFormulaDamage(value))
    return shown +
           " is what a spreadsheet made of a formula (a value starting with =, + or -): format the column as "
           "text and type the value again";
  switch (key.encoding) {
    case Encoding::Flag: return value == "0" || value == "1" ? "" : shown + " is not 0 or 1";
    case Encoding::Index:
    case Encoding::Int: return IsInteger(value) ? "" : shown + " is not a number";
    case Encoding::Octet:
      return IsInteger(value) && ParseWholeWithin(value, 0, 255)
                 ? ""
                 : shown + " is not an address octet (0 to 255)";
    case Encoding::Text: break;
  }
  if (const std::size_t at = FindControlByte(value); at != std::string::npos)
    return shown + " holds a control character (" +
           ControlByteName(static_cast<unsigned char>(value[at])) +
           "), which would end or garble its command line";
  if (value.find(',') != std::string::npos)
    return shown + " holds a comma, which would shift every later field of the line";
  const bool numeric = field && (field->rule == ValueRule::Phone || field->rule == ValueRule::Digits ||
                                 field->rule == ValueRule::Pin);
  if (numeric && IsExponentForm(value)) return shown + " is in exponent form: " + kSpreadsheetNumber;
  if (!field) return {};
  if (const auto broken = CheckValueRule(*field, value))
    return secret ? field->name + ": " + kSecretNotShown + " is not " + *broken
                  : DescribeBrokenRule(*field, value, *broken);
  return {};
}

std::string KeyProblem(FleetTable::KeyKind kind, const std::string& cell, std::string& key) {
  key = Trimmed(cell);
  if (key.empty())
    return "is empty: every row needs its tracker's " +
           std::string(kind == FleetTable::KeyKind::Imei ? "IMEI" : "port");
  if (kind == FleetTable::KeyKind::Imei) {
    if (IsExponentForm(key)) return QuotedValue(key) + " is in exponent form: " + kSpreadsheetNumber;
    if (key.size() != 15 || !IsDigits(key))
      return QuotedValue(key) + " is not an IMEI (15 digits)";
    if (!IsValidImei(key)) return QuotedValue(key) + " is not an IMEI (its last digit fails the Luhn check)";
    return {};
  }
  if (key[0] == '/') return {};
  std::string digits = Lower(key).rfind("com", 0) == 0 ? key.substr(3) : key;
  if (digits.size() > 4 || !IsDigits(digits) ||
      *ParseWhole(digits) == 0)
    return QuotedValue(key) + " is not a port (5, COM5 or a device such as /dev/ttyUSB0)";
  key = "COM" + std::to_string(*ParseWhole(digits));
  return {};
}

char32_t HiddenControl(const std::string& cell) {
  char32_t found = 0;
  for (std::size_t i = 0; i < cell.size();) {
    const auto b = static_cast<unsigned char>(cell[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (length == 0 || (b >= 0xF0 && length != 4) || i + length > cell.size()) return 0;
    char32_t point = b & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(cell[i + k]);
      if ((next & 0xC0) != 0x80) return 0;
      point = (point << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    const bool hidden = (point >= 0x80 && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
                        (point >= 0x2066 && point <= 0x2069);
    if (hidden && !found) found = point;
    i += static_cast<std::size_t>(length);
  }
  return found;
}

std::string HiddenControlWhy(char32_t point) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(point));
  return std::string("holds ") + name +
         (point <= 0x9F ? ", a C1 control character" : ", a bidirectional control character") +
         ", which changes how the text around it is shown: type the value again without it";
}

}  // namespace kestrun::batch
