#include "sim/TrackerSim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "port/SystemError.h"
#include "protocol/Identity.h"

namespace kestrun::sim {

namespace fs = std::filesystem;

std::string SimImei(int comNumber) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "35000000%06d", comNumber % 1000000);
  return digits + std::string(1, LuhnCheckDigit(digits));
}

std::string SimIccid(int comNumber) {
  char digits[20];
  std::snprintf(digits, sizeof digits, "894400000000%06d", comNumber % 1000000);
  return digits + std::string(1, LuhnCheckDigit(digits));
}

bool ParseFault(const std::string& name, Fault& fault) {
  static const std::map<std::string, Fault> names = {
      {"none", Fault::None},    {"silent", Fault::Silent},          {"no-ok", Fault::NoOk},
      {"error", Fault::Error},  {"wrong-count", Fault::WrongCount}, {"ok-before-tag", Fault::OkBeforeTag},
      {"split", Fault::Split},  {"garbage", Fault::Garbage},        {"long", Fault::LongReply},
      {"vanish", Fault::Vanish}};
  const auto found = names.find(name);
  if (found == names.end()) return false;
  fault = found->second;
  return true;
}

CTrackerSim::CTrackerSim(SimOptions options) : options_(std::move(options)) {
  answerDelayMs_ = options_.answerDelayMs;
  asleep_ = options_.startAsleep;
}

CTrackerSim::~CTrackerSim() { Stop(); }

std::string CTrackerSim::linkPath() const {
  if (options_.portsDir.empty()) return {};
  return options_.portsDir + "/com" + std::to_string(options_.comNumber);
}

bool CTrackerSim::Start(std::string& error) {
  if (!options_.stateFile.empty()) {
    std::ifstream in(options_.stateFile);
    if (in) {
      std::stringstream text;
      text << in.rdbuf();
      if (!state_.Deserialize(text.str())) {
        error = "state file " + options_.stateFile + " is not a simulator state file";
        return false;
      }
    }
  }
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = "cannot create a pseudo-terminal: " + SystemReason(errno);
    return false;
  }
  slavePath_ = ::ptsname(master_);
  // Keeping one slave descriptor open stops the master from seeing a hang-up
  // every time the tool closes the port between operations.
  slaveKeepAlive_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeepAlive_ >= 0) {
    termios tio{};
    ::tcgetattr(slaveKeepAlive_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slaveKeepAlive_, TCSANOW, &tio);
  }
  if (!options_.portsDir.empty()) {
    std::error_code ec;
    fs::create_directories(options_.portsDir, ec);
    if (options_.comNumber <= 0) {
      for (int n = 200; n < 10000; ++n) {
        if (!fs::exists(fs::symlink_status(options_.portsDir + "/com" + std::to_string(n), ec))) {
          options_.comNumber = n;
          break;
        }
      }
    }
    const std::string link = linkPath();
    // A link to a pseudo-terminal that is still there belongs to a running
    // simulator: taking its number would hide it. A dead one is replaced.
    if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::exists(link, ec)) {
      error = "COM" + std::to_string(options_.comNumber) + " is taken: " + link + " -> " +
              fs::read_symlink(link, ec).string();
      return false;
    }
    fs::remove(link, ec);
    fs::create_symlink(slavePath_, link, ec);
    if (ec) {
      error = "cannot create " + link + ": " + ec.message();
      return false;
    }
  }
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    error = "cannot create a pipe";
    return false;
  }
  running_ = true;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void CTrackerSim::Stop() {
  if (running_.exchange(false)) {
    const char byte = 0;
    [[maybe_unused]] auto n = ::write(wakePipe_[1], &byte, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (int* fd : {&master_, &slaveKeepAlive_, &wakePipe_[0], &wakePipe_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  RemoveOwnLink();
}

void CTrackerSim::RemoveOwnLink() {
  if (options_.portsDir.empty() || options_.comNumber <= 0) return;
  std::error_code ec;
  const std::string link = linkPath();
  if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == slavePath_)
    fs::remove(link, ec);
}

void CTrackerSim::SetFault(const std::string& prefix, Fault fault, int times) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back({prefix, fault, times});
}

void CTrackerSim::SwapTrackerAfter(const std::string& prefix, int times, const std::string& imei) {
  std::lock_guard<std::mutex> lock(mutex_);
  swap_ = {prefix, Fault::None, times};
  swapImei_ = imei;
  swapped_ = times <= 0;
}

void CTrackerSim::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
  swap_.times = 0;
  swapped_ = false;
}

std::vector<std::string> CTrackerSim::ReceivedLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void CTrackerSim::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
}

void CTrackerSim::WithState(const std::function<void(CTrackerState&)>& fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  fn(state_);
}

void CTrackerSim::Log(const std::string& text) {
  if (options_.log) options_.log(text);
}

void CTrackerSim::Send(const std::string& text) {
  if (master_ < 0) return;
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::write(master_, text.data() + sent, text.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      bytesSent_ += n;
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else {
      break;
    }
  }
  Log("--> " + text);
}

void CTrackerSim::Run() {
  char buffer[512];
  while (running_) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, 200) <= 0) continue;
    if (fds[1].revents) break;
    if (!(fds[0].revents & POLLIN)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    bytesReceived_ += n;
    for (ssize_t i = 0; i < n && running_; ++i) {
      const char c = buffer[i];
      if (c == '\r' || c == '\n') {
        if (!pending_.empty()) HandleLine(pending_);
        pending_.clear();
      } else if (pending_.size() < 4096) {
        pending_ += c;
      }
    }
  }
}

Fault CTrackerSim::TakeFault(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (FaultRule& rule : faults_) {
    if (rule.times == 0) continue;
    if (rule.prefix != "*" && line.rfind(rule.prefix, 0) != 0) continue;
    if (rule.times > 0) --rule.times;
    return rule.fault;
  }
  return Fault::None;
}

void CTrackerSim::HandleLine(const std::string& line) {
  Log("<-- " + line);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(line);
  }
  if (asleep_) {
    asleep_ = false;  // the first line only wakes the tracker
    return;
  }
  const Fault fault = TakeFault(line);
  if (answerDelayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answerDelayMs_.load()));
  if (fault == Fault::Silent) return;
  if (fault == Fault::Vanish) {
    Log("(device vanishes)");
    RemoveOwnLink();  // as an unplugged adapter's device node goes away, before the hang-up
    ::close(master_);
    master_ = -1;
    if (slaveKeepAlive_ >= 0) ::close(slaveKeepAlive_);
    slaveKeepAlive_ = -1;
    running_ = false;
    return;
  }
  if (fault == Fault::Garbage) {
    Send("\x7f\x13#%&*(&^%$\xfe\xff");
    return;
  }
  const std::string answer = Answer(line, fault);
  const std::string echo = line + "\r";
  if (fault == Fault::LongReply) {
    std::string filler;
    while (filler.size() < static_cast<std::size_t>(options_.longReplyBytes))
      filler += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
    Send(echo + filler.substr(0, options_.longReplyBytes) + answer);
  } else if (fault == Fault::Split) {
    Send(echo);
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.splitPauseMs));
    Send(answer);
  } else {
    Send(echo + answer);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (swap_.times > 0 && line.rfind(swap_.prefix, 0) == 0 && --swap_.times == 0) swapped_ = true;
}

std::string CTrackerSim::Answer(const std::string& line, Fault fault) {
  const std::string ok = fault == Fault::NoOk ? "" : "\r\nOK\r\n";
  if (fault == Fault::Error) return "\r\nERROR\r\n";
  if (line == "ATI") return "\r\nSIM900 R11.0\r\nRevision:1418B05SIM900M32\r\n" + ok;
  if (line == "at+csub") return "\r\n+CSUB:V01\r\nSubEdition:KESTRUN_SIM_2.25\r\n" + ok;
  if (line == "AT+CGSN") {
    std::string imei = options_.imei.empty() ? SimImei(options_.comNumber) : options_.imei;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (swapped_) imei = swapImei_;
    }
    if (imei.empty()) return "\r\nERROR\r\n";
    return "\r\n" + imei + "\r\n" + ok;
  }
  if (line == "AT+CCID")
    return "\r\n+CCID: " + (options_.iccid.empty() ? SimIccid(options_.comNumber) : options_.iccid) + "\r\n" +
           ok;
  if (line == "AT+CSQ") return "\r\n+CSQ: 21,0\r\n" + ok;
  if (line == "AT+CSCLK=1") {
    asleep_ = options_.startAsleep;  // sleeps again once the port is left alone
    return ok;
  }
  if (line == "AT" || line == "AT+CSCLK=0" || line == "AT+WCSL=1" || line == "AT+WCSL=0") return ok;
  if (line.rfind("AT+RV", 0) == 0 && line.size() == 9 && line[8] == '?') {
    const std::string group = line.substr(5, 3);
    std::string body;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!state_.HasQuery(group)) return "\r\nERROR\r\n";
      body = state_.ReplyBody(group);
    }
    if (fault == Fault::WrongCount) body += ",";
    const std::string reply = "\r\n+RV" + group + ":" + body + "\r\n";
    if (fault == Fault::OkBeforeTag) return "\r\nOK\r\n" + reply;
    return reply + ok;
  }
  if (line.rfind("AT+RV", 0) == 0) {
    bool accepted = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      accepted = state_.ApplySetting(line);
    }
    if (!accepted) return "\r\nERROR\r\n";
    SaveState();
    return ok;
  }
  return "\r\nERROR\r\n";
}

void CTrackerSim::SaveState() {
  if (options_.stateFile.empty()) return;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text = state_.Serialize();
  }
  const std::string temp = options_.stateFile + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << text;
    if (!out) return;
  }
  std::error_code ec;
  fs::rename(temp, options_.stateFile, ec);
}

}  // namespace kestrun::sim
