// Every field of the configuration form, each defined once: its group, kind,
// input limit, digits-only style, value rule, cap message, range rule, row, list
// size, config file key and its place in the file, and the place of its text in
// its command record. The bindings, the caps, the range checks, the config keys
// and their order, the enable rules, the list checks and the input limits of the
// layout are all taken from this one table.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "protocol/Groups.h"

namespace kestrun {

class CFormModel;

enum class ValueKind { Text, Flag, Index, Radio, Preview, Address };

// What a text field's value must look like to be sent (an empty value always
// may): the rule behind the field's typing filter, its mark and the checks
// before a Send.
enum class ValueRule { None, Time, Digits, Port, Phone, Pin, Longitude, Latitude, Text };

// The values a range check accepts; a field without one has a null label.
struct RangeLimits {
  const char* label = nullptr;
  const char* low = nullptr;
  const char* high = nullptr;
  bool onlyIfNotEmpty = false;
};

// What a cap cuts when the form refreshes the record: the form value itself,
// or only the record's copy (the field keeps what it holds).
enum class CapCut { FormValue, RecordCopy };

struct FormField {
  int id = 0;
  Group group = Group::Sri;
  ValueKind kind = ValueKind::Text;
  int limit = 0;            // input limit in bytes of a text field, 0 for none
  bool digitsOnly = false;  // the white-list numbers
  ValueRule rule = ValueRule::None;
  std::string name;     // how messages name a text field
  int row = -1;         // fence, key or white-list position of a row's field
  bool rowBox = false;  // the box that switches its row (a fence's, a key's)
  int listSize = 0;     // items of an index field's list or a radio group's buttons
  // A capped text is cut to `limit` bytes with this message (null: no cap);
  // a reply's value uses `replyCapMessage` where that differs.
  const char* capMessage = nullptr;
  const char* replyCapMessage = nullptr;
  CapCut capCut = CapCut::FormValue;
  RangeLimits range;
  // Config file section and key; empty for a field no file holds. An address
  // field's key is the stem of its four octet keys (IP -> IP1 ... IP4).
  std::string section;
  std::string key;
  // The key's place in its section of a config file; the fields of a row run
  // (fences, keys, white-list numbers) share one, and stand in row order.
  int filePos = 0;
  // The text field's value in its command record (empty for the others).
  std::function<std::string&(CFormModel&)> recordText;

  const char* ReplyCapMessage() const { return replyCapMessage ? replyCapMessage : capMessage; }
};

// Every field, in the order the form is exchanged (top to bottom of the form).
const std::vector<FormField>& FormFields();
const FormField* FindFormField(int id);

// The fields with a config key, in the order their keys stand in a file: the
// sections in send order, then each section's keys by their place.
const std::vector<const FormField*>& FileOrder();

}  // namespace kestrun
