#include "journal/JournalStore.h"

namespace kestrun::journal {

bool CJournalStore::IsServer(const std::string& target) {
  return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

bool CJournalStore::Open(const std::string& target, const std::string& outboxPath, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!IsServer(target)) return local_.Open(target, error);
  server_ = target;
  if (!local_.Open(outboxPath, error)) return false;
  // Until the shared server is wired in, its rows wait here.
  warning_ = "the shared journal is not supported by this build; rows stay in " + outboxPath;
  return true;
}

std::string CJournalStore::warning() const {
  std::lock_guard<std::mutex> hold(lock_);
  return warning_;
}

bool CJournalStore::Shared() const {
  std::lock_guard<std::mutex> hold(lock_);
  return !server_.empty();
}

bool CJournalStore::ServerReachable() const {
  std::lock_guard<std::mutex> hold(lock_);
  return server_.empty() || warning_.empty();
}

bool CJournalStore::Append(JournalRow& row, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  return local_.Append(row, error);
}

bool CJournalStore::Claim(const std::string& tableName, const std::vector<std::string>& rowIds,
                          const std::string& imei, int& index, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  return local_.Claim(tableName, rowIds, imei, index, error);
}

bool CJournalStore::LastRow(const std::string& imei, JournalRow& row, bool& found, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  JournalQuery query;
  query.imei = imei;
  query.limit = 1;
  std::vector<JournalRow> rows;
  if (!local_.Rows(query, rows, error)) return false;
  found = !rows.empty();
  if (found) row = rows.front();
  return true;
}

}  // namespace kestrun::journal
