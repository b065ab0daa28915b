#include "journal/JournalStore.h"

#include <algorithm>

#include "journal/Conninfo.h"
#include "journal/ServerJournal.h"
#include "journal/ServerString.h"

namespace kestrun::journal {

namespace {

// Rows per statement when the outbox is emptied.
constexpr int kBatchRows = 500;

}  // namespace

CJournalStore::CJournalStore() = default;
CJournalStore::~CJournalStore() = default;

bool CJournalStore::IsServer(const std::string& target) {
  return ClassifyTarget(target) == TargetKind::Server;
}

std::string CJournalStore::RefusalOf(const std::string& target) {
  const TargetKind kind = ClassifyTarget(target);
  if (kind == TargetKind::Server && !SharedJournalBuilt())
    return MaskSecrets(target) + ": this build has no shared journal; give a journal file";
  if (kind != TargetKind::Refused) return "";
  return MaskSecrets(target) +
         ": neither a journal file nor a server string (postgresql://... or libpq's keyword=value pairs); "
         "a text holding \"://\" or \"password=\" is never taken as a file name";
}

bool CJournalStore::Open(const std::string& target, const std::string& outboxPath, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  if (error = RefusalOf(target); !error.empty()) return false;
  if (!IsServer(target)) return local_.Open(target, error);
  target_ = target;
  outboxPath_ = outboxPath;
  if (!local_.Open(outboxPath, error)) return false;
  server_ = std::make_unique<CServerJournal>();
  std::string why;
  std::vector<Conflict> conflicts;  // they stop their trackers when these are dealt
  if (!Connect(why) || !SendWaiting(sentAtOpen_, why) || !SendClaims(conflicts, why)) Away(why);
  return true;
}

bool CJournalStore::CheckIntegrity(std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  return local_.CheckIntegrity(error);
}

std::string CJournalStore::warning() const {
  std::lock_guard<std::mutex> hold(lock_);
  return warning_;
}

std::string CJournalStore::TakeWarning() {
  std::lock_guard<std::mutex> hold(lock_);
  if (warningTaken_) return "";
  warningTaken_ = true;
  return warning_;
}

bool CJournalStore::Shared() const {
  std::lock_guard<std::mutex> hold(lock_);
  return server_ != nullptr;
}

bool CJournalStore::ServerReachable() const {
  std::lock_guard<std::mutex> hold(lock_);
  return !server_ || server_->Connected();
}

std::string CJournalStore::ServerName() const {
  std::lock_guard<std::mutex> hold(lock_);
  return server_ ? MaskedUrl(target_) : "";
}

void CJournalStore::SetRetryDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> hold(lock_);
  retryDelay_ = delay;
}

bool CJournalStore::Connect(std::string& why) {
  if (server_->Connected()) return true;
  if (!server_->Connect(target_, why)) return false;
  warning_.clear();
  warningTaken_ = false;
  return true;
}

void CJournalStore::Away(const std::string& why) {
  server_->Close();
  nextTry_ = std::chrono::steady_clock::now() + retryDelay_;
  // Said once while the server stays away, not once per row.
  if (!warning_.empty()) return;
  warning_ = "the shared journal " + MaskedUrl(target_) + " cannot be used (" + why + "); rows wait in " +
             outboxPath_ + " for the next run or 'rv450-cli journal push'";
  warningTaken_ = false;
}

bool CJournalStore::SendWaiting(int& sent, std::string& why) {
  sent = 0;
  for (;;) {
    std::vector<JournalRow> rows;
    if (!local_.UnsentRows(kBatchRows, rows, why)) {
      why = outboxPath_ + ": " + why;
      return false;
    }
    if (rows.empty()) return true;
    if (!server_->Insert(rows, why)) return false;
    // Taken by the server: a mark lost now only makes the row go again, and
    // the server skips an id it has.
    std::vector<std::string> ids;
    for (const JournalRow& row : rows) ids.push_back(row.id);
    if (!local_.MarkSent(ids, why)) {
      why = outboxPath_ + ": " + why;
      return false;
    }
    sent += static_cast<int>(rows.size());
  }
}

bool CJournalStore::SendClaims(std::vector<Conflict>& conflicts, std::string& why) {
  conflicts.clear();
  std::vector<ClaimLine> claims, agreed;
  if (!local_.UnsentClaims(claims, why)) {
    why = outboxPath_ + ": " + why;
    return false;
  }
  if (claims.empty()) return true;
  std::vector<std::string> holders;
  if (!server_->SendClaims(claims, holders, why)) return false;
  for (std::size_t i = 0; i < claims.size(); ++i) {
    if (holders[i] == claims[i].imei)
      agreed.push_back(claims[i]);
    else if (!holders[i].empty())
      conflicts.push_back({claims[i], holders[i]});
  }
  if (local_.MarkClaimsSent(agreed, why)) return true;
  why = outboxPath_ + ": " + why;
  return false;
}

bool CJournalStore::SendIfDue() {
  if (!server_) return false;
  if (!server_->Connected() && std::chrono::steady_clock::now() < nextTry_) return false;
  std::string why;
  int sent = 0;
  if (Connect(why) && SendWaiting(sent, why)) return true;
  Away(why);
  return false;
}

bool CJournalStore::Append(JournalRow& row, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  row.sent = false;
  if (!local_.Append(row, error)) return false;
  row.sent = SendIfDue();
  return true;
}

bool CJournalStore::AppendAll(std::vector<JournalRow>& rows, std::vector<std::string>& errors) {
  std::lock_guard<std::mutex> hold(lock_);
  errors.assign(rows.size(), "");
  bool ok = true;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].sent = false;
    if (!local_.Append(rows[i], errors[i])) ok = false;
  }
  const bool sent = SendIfDue();
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].sent = sent && errors[i].empty();
  return ok;
}

bool CJournalStore::HeldRow(const std::string& tableName, const std::vector<std::string>& rowIds,
                            const std::string& imei, int& index, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  return local_.HeldRow(tableName, rowIds, imei, index, error);
}

bool CJournalStore::Claim(const std::string& tableName, const std::vector<std::string>& rowIds,
                          const std::string& imei, int& index, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!server_) return local_.Claim(tableName, rowIds, imei, index, error);
  index = -1;
  std::string why;
  std::vector<Conflict> conflicts;
  // The claims made here without the server go first: no row is dealt before the server knows them.
  if (Connect(why) && SendClaims(conflicts, why)) {
    for (const Conflict& c : conflicts) {
      const auto row = std::find(rowIds.begin(), rowIds.end(), c.local.rowId);
      if (c.local.tableName != tableName || row == rowIds.end() ||
          (c.local.imei != imei && c.serverImei != imei))
        continue;
      error = "row " + std::to_string(row - rowIds.begin() + 1) + " of " + tableName + " is held by " +
              c.local.imei + " in this station's journal but by " + c.serverImei +
              " on the shared journal; the row may be on both trackers, so this tracker is dealt no row";
      return false;
    }
    if (server_->Claim(tableName, rowIds, imei, index, why)) {
      if (index >= 0 &&
          !local_.RecordClaim(tableName, rowIds[static_cast<std::size_t>(index)], imei, error)) {
        // Held on the server all the same: the tracker gets the row back next time.
        error = outboxPath_ + ": " + error;
        index = -1;
        return false;
      }
      return true;
    }
  }
  if (!server_->Connected()) Away(why);
  error = "the shared journal " + MaskedUrl(target_) + ": " + why;
  index = -1;
  return false;
}

bool CJournalStore::LastRow(const std::string& imei, JournalRow& row, bool& found, std::string& error,
                            bool withHash) {
  std::lock_guard<std::mutex> hold(lock_);
  JournalQuery query;
  query.imei = imei;
  query.limit = 1;
  query.withHash = withHash;
  std::vector<JournalRow> rows;
  if (!local_.Rows(query, rows, error)) return false;
  found = !rows.empty();
  if (found) row = rows.front();
  return true;
}

bool CJournalStore::Push(int& sent, int& waiting, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  sent = 0;
  waiting = 0;
  if (!server_) {
    error = "no shared journal is set (--journal postgresql://... or RV450_JOURNAL)";
    return false;
  }
  std::string why;
  std::vector<Conflict> conflicts;  // they stop their trackers when these are dealt
  const bool ok = Connect(why) && SendWaiting(sent, why) && SendClaims(conflicts, why);
  sent += sentAtOpen_;
  sentAtOpen_ = 0;
  if (!ok) {
    Away(why);
    error = "the shared journal " + MaskedUrl(target_) + " cannot be used (" + why + ")";
  }
  std::string countError;
  if (!local_.CountUnsent(waiting, countError) && ok) {
    error = outboxPath_ + ": " + countError;
    return false;
  }
  return ok;
}

}  // namespace kestrun::journal
