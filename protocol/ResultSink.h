// How the command layer reports validation problems: the view shows them as
// result popups (caption, message, icon kind 0 success / 1 failure, auto-close,
// delay in milliseconds). The caller goes on at once.
#pragma once

#include <string>

namespace kestrun {

inline constexpr const char* kAppTitle = "RV450 Kestrun";
// The icon of a result popup: a green check or a red cross.
enum class ResultIcon { Success, Failure };
inline constexpr ResultIcon kIconSuccess = ResultIcon::Success;
inline constexpr ResultIcon kIconFailure = ResultIcon::Failure;

class IResultSink {
 public:
  virtual ~IResultSink() = default;
  virtual void ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind,
                          bool autoClose, int delayMs) = 0;

  // A failure popup as every validation and operation failure shows it.
  void ShowFailure(const std::string& message) { ShowResult(kAppTitle, message, kIconFailure, false, 1000); }
};

}  // namespace kestrun
