// A simulated RV450 on a pseudo-terminal, registered as a COM port through a
// com<N> link in the ports folder. It echoes every line, answers OK or ERROR,
// keeps the settings groups, answers the queries, ATI, at+csub and the GSM
// module's identity queries (AT+CGSN, AT+CCID, AT+CSQ), models the
// slow-clock mode and can inject faults per command.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/TrackerState.h"

namespace kestrun::sim {

enum class Fault {
  None,
  Silent,       // no echo, no answer
  NoOk,         // echo (and reply) without OK
  Error,        // echo, then ERROR
  WrongCount,   // query reply with one field too many
  OkBeforeTag,  // an OK line ahead of the query reply
  Split,        // the answer comes in two parts, the second after splitPauseMs
  Garbage,      // bytes that are no answer at all
  LongReply,    // longReplyBytes of text without a pause, then the answer
  Vanish,       // the device disappears (pseudo-terminal closed)
};

bool ParseFault(const std::string& name, Fault& fault);

// A simulator's own IMEI (15 digits) and ICCID (19 digits), each with a valid
// Luhn check digit and distinct per COM number.
std::string SimImei(int comNumber);
std::string SimIccid(int comNumber);

struct SimOptions {
  std::string portsDir;     // where com<N> is linked; empty: no link
  int comNumber = 0;        // 0: the first free number from 200 on
  bool startAsleep = true;  // slow-clock mode on at power-up
  int answerDelayMs = 0;
  int splitPauseMs = 700;
  int longReplyBytes = 1500;
  std::string imei;                             // AT+CGSN; empty: SimImei(comNumber)
  std::string iccid;                            // AT+CCID; empty: SimIccid(comNumber)
  std::string stateFile;                        // loaded at start, saved after every accepted setting
  std::function<void(const std::string&)> log;  // "<-- line" and "--> text"
};

class CTrackerSim {
 public:
  explicit CTrackerSim(SimOptions options);
  ~CTrackerSim();
  CTrackerSim(const CTrackerSim&) = delete;
  CTrackerSim& operator=(const CTrackerSim&) = delete;

  bool Start(std::string& error);
  void Stop();

  int comNumber() const { return options_.comNumber; }
  const std::string& slavePath() const { return slavePath_; }
  std::string linkPath() const;

  // Fault for lines starting with `prefix` ("AT+RVSRI?", "AT+RVGEO=", "AT+CSCLK=0",
  // "*" for every line), for the next `times` matching lines (-1: always).
  void SetFault(const std::string& prefix, Fault fault, int times = -1);
  // Another tracker takes this one's place on the cable once `times` lines
  // starting with `prefix` have been answered: from then on AT+CGSN answers
  // `imei`, or ERROR when it is empty (a tracker that gives no IMEI).
  void SwapTrackerAfter(const std::string& prefix, int times, const std::string& imei);
  // Ends the faults and a swap; AT+CGSN answers this tracker's IMEI again.
  void ClearFaults();
  void SetAnswerDelay(int ms) { answerDelayMs_ = ms; }
  void SetAsleep(bool asleep) { asleep_ = asleep; }
  bool asleep() const { return asleep_; }

  std::vector<std::string> ReceivedLines() const;
  // Bytes that crossed the line in each direction since the start.
  long long BytesReceived() const { return bytesReceived_; }
  long long BytesSent() const { return bytesSent_; }
  void ClearReceived();
  // Runs `fn` with the state locked.
  void WithState(const std::function<void(CTrackerState&)>& fn);

 private:
  void Run();
  void HandleLine(const std::string& line);
  std::string Answer(const std::string& line, Fault fault);
  Fault TakeFault(const std::string& line);
  void Send(const std::string& text);
  void Log(const std::string& text);
  void SaveState();
  // Removes the ports folder's link, if it still points to this simulator.
  void RemoveOwnLink();

  struct FaultRule {
    std::string prefix;
    Fault fault;
    int times;
  };

  SimOptions options_;
  int master_ = -1;
  int slaveKeepAlive_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<int> answerDelayMs_{0};
  std::atomic<bool> asleep_{false};
  std::atomic<long long> bytesReceived_{0};
  std::atomic<long long> bytesSent_{0};
  mutable std::mutex mutex_;
  CTrackerState state_;
  std::vector<FaultRule> faults_;
  FaultRule swap_{"", Fault::None, 0};  // lines before the swap; 0: none pending
  std::string swapImei_;
  bool swapped_ = false;  // AT+CGSN answers swapImei_
  std::vector<std::string> received_;
  std::string pending_;
};

}  // namespace kestrun::sim
