#include "window/TerminalRunner.h"

namespace kestrun {

void CTerminalRunner::Start(const TerminalRequest& request, const Connection& connection) {
  OperationPlan plan;
  plan.kind = OperationKind::Terminal;
  plan.terminal = request;
  plan.SetConnection(connection.Port(), connection.logPath, connection.pacing);
  runner_.Start(std::move(plan));
}

void CTerminalRunner::StatusChanged(const std::string& text) {
  if (listener_) listener_->StatusChanged(text);
}

void CTerminalRunner::StatusExplained(const std::string& detail) {
  if (listener_) listener_->StatusExplained(detail);
}

void CTerminalRunner::WakeUpAttempt(int attempt, int count) {
  if (listener_) listener_->WakeUpAttempt(attempt, count);
}

void CTerminalRunner::TerminalReply(const std::string& chunk) {
  if (listener_) listener_->TerminalReply(chunk);
}

void CTerminalRunner::OperationFinished(const OperationResult& result) {
  if (listener_) listener_->OperationFinished(result);
  runner_.Finished();
}

}  // namespace kestrun
