// Work the window hands to a worker thread of its own, of which only the
// newest answer counts: the Journal tab's server reads, the Provisioning
// window's checks of its choices. A request asked for while another runs
// supersedes it (the worker takes the newest when its current one ends, and
// the answer of the older is dropped). The answer waits under a lock for
// Take; `wake` says on the worker thread that one waits (the window posts
// Take to its own thread). Destroying it waits for the request under way to
// end; one waiting to start is dropped. A request under way is told when it is
// superseded (by Ask, Put, Drop or the destructor), so that long work can end
// early instead of making the newer request, or the window's close, wait.
// Plain C++.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace kestrun {

template <typename Request, typename Answer>
class CLatestWork {
 public:
  // `work` runs on the worker thread, one request at a time; `superseded`
  // turns true when its answer is no longer wanted.
  using WorkFunction = std::function<Answer(const Request&, const std::atomic<bool>& superseded)>;
  explicit CLatestWork(WorkFunction work) : work_(std::move(work)) {}
  explicit CLatestWork(std::function<Answer(const Request&)> work)
      : work_([work = std::move(work)](const Request& request, const std::atomic<bool>&) {
          return work(request);
        }) {}
  ~CLatestWork() {
    {
      std::lock_guard lock(mutex_);
      next_.reset();
      superseded_ = true;
    }
    if (worker_.joinable()) worker_.join();
  }
  CLatestWork(const CLatestWork&) = delete;
  CLatestWork& operator=(const CLatestWork&) = delete;

  // Runs on the worker thread when an answer waits for Take. Set before the first Ask.
  std::function<void()> wake;

  // Runs `request` on the worker thread; an earlier request's answer is dropped.
  void Ask(Request request) {
    std::lock_guard lock(mutex_);
    ++generation_;
    next_ = std::move(request);
    answer_.reset();
    superseded_ = true;
    if (running_) return;  // the worker takes it when its current request ends
    running_ = true;
    // The worker before has said it ends (running_ false): joining it is quick.
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this] { Work(); });
  }
  // An answer found without the worker: it supersedes a request under way.
  void Put(Answer answer) {
    std::lock_guard lock(mutex_);
    ++generation_;
    next_.reset();
    answer_ = std::move(answer);
    superseded_ = true;
  }
  // No answer is wanted any more: the request under way is told, one waiting is dropped.
  void Drop() {
    std::lock_guard lock(mutex_);
    ++generation_;
    next_.reset();
    answer_.reset();
    superseded_ = true;
  }
  // True while the worker runs a request.
  bool Busy() const {
    std::lock_guard lock(mutex_);
    return running_;
  }
  // The newest answer, once; nothing while it is not there yet.
  std::optional<Answer> Take() {
    std::lock_guard lock(mutex_);
    std::optional<Answer> answer = std::move(answer_);
    answer_.reset();
    return answer;
  }

 private:
  void Work() {
    for (;;) {
      std::optional<Request> request;
      unsigned generation;
      {
        std::lock_guard lock(mutex_);
        if (!next_) {
          running_ = false;
          return;
        }
        request.swap(next_);
        generation = generation_;
        superseded_ = false;
      }
      Answer answer = work_(*request, superseded_);
      {
        std::lock_guard lock(mutex_);
        if (generation != generation_) continue;  // a newer request was asked for: this answer is stale
        answer_ = std::move(answer);
      }
      if (wake) wake();
    }
  }

  const WorkFunction work_;
  mutable std::mutex mutex_;
  std::optional<Request> next_;  // the request the worker is to run next
  std::optional<Answer> answer_;
  unsigned generation_ = 0;  // counts the requests; an answer of an older one is dropped
  bool running_ = false;
  std::atomic<bool> superseded_{false};  // the request under way is no longer wanted
  std::thread worker_;
};

}  // namespace kestrun
