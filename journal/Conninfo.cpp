#include "journal/Conninfo.h"

#include <libpq-fe.h>

namespace kestrun::journal {

bool ParseConninfo(const std::string& text, std::vector<ConninfoPair>* pairs) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
  PQfreemem(error);
  if (!options) return false;
  if (pairs)
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (o->val) pairs->push_back({o->keyword, o->val});
  PQconninfoFree(options);
  return true;
}

bool SharedJournalBuilt() { return true; }

}  // namespace kestrun::journal
