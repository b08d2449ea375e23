// The long-lived converter: a pool of headless LibreOffice processes, each driven by a python3-uno
// bridge (data/office_bridge.py, embedded at build time) over a socket with a line protocol.
// Each process runs in a process group of its own, with a throwaway profile in the converter's
// private folder; a process that hangs or ends is killed with its group and started again.
#include "tabrix/office_converter.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>

#include "convert/office_support.h"
#include "xlsx/engine_errors.h"

namespace tabrix {

namespace xlsx {
extern const char kOfficeBridgeScript[];  // generated from data/office_bridge.py
}

using namespace xlsx;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Starting LibreOffice (a first start builds its profile) may take longer than a conversion.
constexpr std::chrono::seconds kShortestStartBound{120};

// The Python interpreter that has Debian's uno module: TABRIX_OFFICE_PYTHON, else the system one.
std::string BridgePython() {
  if (const char* variable = std::getenv("TABRIX_OFFICE_PYTHON"); variable && *variable) return variable;
  if (std::string system = ResolveProgram("/usr/bin/python3"); !system.empty()) return system;
  return ResolveProgram("python3");
}

// Why an attempt on a process failed: the process is no longer usable.
struct ProcessFailure {
  std::string message;
};

// The bridge cannot run here (no python3, or no uno module: its exit code 3): conversions go
// the way they go without a converter.
struct BridgeUnavailable {};
constexpr int kBridgeWithoutUno = 3;

}  // namespace

struct OfficeConverter::State {
  // One LibreOffice with its bridge; only the thread holding it touches it.
  struct Process {
    pid_t group = 0;  // the bridge's pid, leader of the group; 0: not running
    int socket = -1;
    std::string received;  // bytes read past the last full line
    std::optional<PrivateFolder> profile;
    std::string pipeName;
  };

  OfficeConverterSettings settings;
  std::chrono::milliseconds timeout{0};
  PrivateFolder folder{"tabrix-converter"};
  fs::path script;

  mutable std::mutex mutex;  // guards busy, the groups and starts
  std::atomic<bool> withoutBridge{false};
  std::condition_variable freed;
  std::vector<Process> processes;
  std::vector<bool> busy;
  int starts = 0;

  std::size_t Acquire() {
    std::unique_lock lock(mutex);
    while (true) {
      for (std::size_t i = 0; i < busy.size(); ++i)
        if (!busy[i]) {
          busy[i] = true;
          return i;
        }
      freed.wait(lock);
    }
  }

  void Release(std::size_t slot) {
    {
      std::lock_guard lock(mutex);
      busy[slot] = false;
    }
    freed.notify_one();
  }

  // Stops the process; the bridge's wait status (0 when it was not running).
  int Stop(Process& process) {
    int status = 0;
    if (process.group > 0) {
      status = KillGroupAndReap(process.group);
      std::lock_guard lock(mutex);
      process.group = 0;
    }
    if (process.socket >= 0) ::close(process.socket);
    process.socket = -1;
    process.received.clear();
    // A LibreOffice killed mid-run leaves its listening pipe behind.
    if (!process.pipeName.empty()) {
      std::error_code ignored;
      fs::remove("/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + process.pipeName, ignored);
      process.pipeName.clear();
    }
    process.profile.reset();
    return status;
  }

  // Sends one line; false when the bridge is gone.
  static bool Send(Process& process, const std::string& line) {
    std::size_t sent = 0;
    while (sent < line.size()) {
      ssize_t n = ::send(process.socket, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  enum class Reply { kLine, kTimeout, kEnded };

  // Reads the next line the bridge writes, waiting until `deadline`.
  static Reply ReadLine(Process& process, Clock::time_point deadline, std::string& line) {
    while (true) {
      if (std::size_t end = process.received.find('\n'); end != std::string::npos) {
        line = process.received.substr(0, end);
        process.received.erase(0, end + 1);
        return Reply::kLine;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Reply::kTimeout;
      pollfd wait{process.socket, POLLIN, 0};
      int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000)));
      if (ready < 0 && errno != EINTR) return Reply::kEnded;
      if (ready <= 0) continue;
      char buffer[4096];
      ssize_t n = ::read(process.socket, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Reply::kEnded;
      process.received.append(buffer, static_cast<std::size_t>(n));
    }
  }

  std::string LogOf(const Process& process) const {
    std::string said = process.profile ? OutputSummary(process.profile->Path() / "bridge.txt") : std::string();
    return said.empty() ? "it gave no message" : said;
  }

  void Start(Process& process, const std::string& program) {
    const std::string python = BridgePython();
    if (python.empty()) throw BridgeUnavailable{};
    static std::atomic<unsigned> counter{0};
    process.profile.emplace("tabrix-converter-profile");
    PrepareProfile(process.profile->Path());
    process.pipeName = "tabrix-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                       process.profile->Path().filename().string();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
      RaiseEngineError(std::string("a channel to LibreOffice cannot be opened: ") + std::strerror(errno));
    const auto startBound = std::max<std::chrono::milliseconds>(timeout, kShortestStartBound);
    pid_t group = 0;
    try {
      group = SpawnGroupLeader({python, "-I", script.string(), program, FileUrl(process.profile->Path()),
                                process.pipeName, SecondsText(startBound), (process.profile->Path() / "tmp").string()},
                               ends[1], (process.profile->Path() / "bridge.txt").string());
    } catch (...) {
      ::close(ends[0]);
      ::close(ends[1]);
      throw;
    }
    ::close(ends[1]);
    process.socket = ends[0];
    {
      std::lock_guard lock(mutex);
      process.group = group;
      ++starts;
    }
    std::string line;
    // The bridge bounds its own wait for LibreOffice; a little more here lets its message arrive.
    Reply reply = ReadLine(process, Clock::now() + startBound + std::chrono::seconds(5), line);
    if (reply == Reply::kLine && line.rfind("READY ", 0) == 0) return;
    std::string why = reply == Reply::kTimeout ? "it did not start within " + SecondsText(startBound) + " seconds"
                                               : LogOf(process);
    const int status = Stop(process);
    if (reply == Reply::kEnded && WIFEXITED(status) && WEXITSTATUS(status) == kBridgeWithoutUno)
      throw BridgeUnavailable{};
    throw ProcessFailure{"LibreOffice could not be started for conversions: " + why};
  }

  // One attempt on `process`: true when converted; raises the conversion's error when
  // LibreOffice refused; throws ProcessFailure when the process hung or ended.
  void Attempt(Process& process, const std::string& program, const ConversionFolder& folder,
               const std::string& targetExtension, const std::string& filter) {
    if (process.group == 0) Start(process, program);
    const std::string request = "CONVERT\t" + FileUrl(folder.source) + "\t" +
                                FileUrl(folder.Produced(targetExtension)) + "\t" + filter + "\n";
    std::string line;
    Reply reply = Send(process, request) ? ReadLine(process, Clock::now() + timeout, line) : Reply::kEnded;
    if (reply == Reply::kLine && line == "OK") return;
    if (reply == Reply::kLine && line.rfind("ERROR\t", 0) == 0)
      RaiseEngineError("LibreOffice did not convert the file to " + targetExtension + " with the filter \"" +
                       filter + "\": " + line.substr(6));
    std::string why = reply == Reply::kTimeout
                          ? "LibreOffice did not finish the conversion to " + targetExtension + " within " +
                                SecondsText(timeout) + " seconds and was stopped"
                          : "LibreOffice ended during the conversion to " + targetExtension + ": " + LogOf(process);
    Stop(process);
    throw ProcessFailure{why};
  }
};

std::shared_ptr<OfficeConverter> OfficeConverter::Create(const std::string& program, std::chrono::milliseconds timeout,
                                                         int processes) {
  auto state = std::make_unique<State>();
  state->settings.program = program;
  state->settings.timeout = timeout;
  state->timeout = EffectiveTimeout(state->settings);
  state->processes = std::vector<State::Process>(static_cast<std::size_t>(std::max(processes, 1)));
  state->busy.assign(state->processes.size(), false);
  state->script = state->folder.Path() / "office_bridge.py";
  std::ofstream out(state->script, std::ios::binary);
  out << kOfficeBridgeScript;
  if (!out.flush()) RaiseEngineError("the converter's bridge cannot be written to \"" + state->script.string() + "\"");
  return std::shared_ptr<OfficeConverter>(new OfficeConverter(std::move(state)));
}

OfficeConverter::OfficeConverter(std::unique_ptr<State> state) : state_(std::move(state)) {}

OfficeConverter::~OfficeConverter() {
  for (State::Process& process : state_->processes) state_->Stop(process);
}

void OfficeConverter::Convert(const std::string& input, const std::string& targetExtension, const std::string& filter,
                              const std::string& output) {
  if (state_->withoutBridge) return ConvertWithOffice(input, targetExtension, filter, output, state_->settings);
  const std::string program = RequireOfficeProgram(state_->settings);
  ConversionFolder folder(input);
  const std::size_t slot = state_->Acquire();
  struct Releaser {
    State& state;
    std::size_t slot;
    ~Releaser() { state.Release(slot); }
  } releaser{*state_, slot};
  // A process that hung or ended is replaced and the conversion tried once more.
  for (int attempt = 1;; ++attempt) {
    try {
      state_->Attempt(state_->processes[slot], program, folder, targetExtension, filter);
      break;
    } catch (const ProcessFailure& failure) {
      if (attempt == 2) RaiseEngineError(failure.message);
    } catch (const BridgeUnavailable&) {
      state_->withoutBridge = true;
      return ConvertWithOffice(input, targetExtension, filter, output, state_->settings);
    }
  }
  std::error_code error;
  const fs::path produced = folder.Produced(targetExtension);
  if (!fs::is_regular_file(produced, error))
    RaiseEngineError("LibreOffice did not convert the file to " + targetExtension + " with the filter \"" + filter +
                     "\": it produced no file");
  PlaceResult(produced, output);
}

std::vector<int> OfficeConverter::ProcessGroups() const {
  std::lock_guard lock(state_->mutex);
  std::vector<int> groups;
  for (const State::Process& process : state_->processes)
    if (process.group > 0) groups.push_back(process.group);
  return groups;
}

int OfficeConverter::Starts() const {
  std::lock_guard lock(state_->mutex);
  return state_->starts;
}

}  // namespace tabrix
