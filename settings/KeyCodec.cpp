#include "settings/KeyCodec.h"

#include "protocol/ControlChars.h"
#include "protocol/Fields.h"
#include "protocol/Trimmed.h"
#include "protocol/WholeNumber.h"

namespace kestrun {

std::string KeyText(const ConfigKey& key, const CFormValues& values) {
  switch (key.encoding) {
    case Encoding::Text: return values.Text(key.id);
    case Encoding::Flag: return values.Number(key.id) ? "1" : "0";
    case Encoding::Octet: return std::to_string(values.Address(key.id)[key.octet]);
    case Encoding::Int:
    case Encoding::Index: return std::to_string(values.Number(key.id));
  }
  return {};
}

KeyRead SetFromKeyText(const ConfigKey& key, const std::string& text, CFormValues& values) {
  KeyRead read;
  switch (key.encoding) {
    case Encoding::Text: {
      std::string value = text.substr(0, CIniText::kMaxValue);
      read.comma = value.find(',') != std::string::npos;
      std::erase(value, ',');
      read.controlBytes = HasControlBytes(value);
      if (read.controlBytes) value = WithoutControlBytes(value);
      // A dropped byte or the cut can leave blanks at an end ("m2m ,"), which
      // the file cannot hold (its values are trimmed): the value would be
      // sent with them, yet saved and loaded again without them.
      values.Text(key.id) = Trimmed(value);
      break;
    }
    case Encoding::Flag: values.Number(key.id) = ReadNumber(text) > 0 ? 1 : 0; break;
    case Encoding::Octet: values.Address(key.id)[key.octet] = ReadNumber(text) & 0xFF; break;
    case Encoding::Int:
    case Encoding::Index: values.Number(key.id) = ReadNumber(text); break;
  }
  return read;
}

bool IsInteger(const std::string& text) {
  std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  return text.size() - start <= 9 && IsDigits(std::string_view(text).substr(start));
}

std::string KeyTextProblem(const ConfigKey& key, const std::string& text) {
  if (key.id == 0) return {};
  // A CR or LF would end the line and make the rest a command of its own.
  if (const std::size_t at = FindControlByte(text); at != std::string::npos)
    return "holds a control character (" + ControlByteName(static_cast<unsigned char>(text[at])) +
           "), which would end or garble its command line";
  if (key.encoding == Encoding::Text)
    return text.find(',') == std::string::npos
               ? ""
               : "holds a comma, which would shift every later field of the line";
  if (!IsInteger(text)) return "is not a number";
  if (key.encoding == Encoding::Octet && !ParseWholeWithin(text, 0, 255))
    return "is not an address octet (0 to 255)";
  return {};
}

}  // namespace kestrun
