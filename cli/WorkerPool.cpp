#include "cli/WorkerPool.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <nlohmann/json.hpp>

#include "cli/CliCommand.h"
#include "cli/Interrupt.h"
#include "cli/ModuleSelection.h"
#include "host/MediaValidationSession.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/Processors.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

using nlohmann::json;
using TClock = std::chrono::steady_clock;

bool WriteAllTo(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ResultLine(const TFileResult& result) {
  json line;
  line["verdict"] = VerdictName(result.Verdict);
  line["reason"] = result.Reason;
  line["errors"] = result.Errors;
  line["warnings"] = result.Warnings;
  line["infos"] = result.Infos;
  line["bytes"] = result.Bytes;
  line["output_error"] = result.OutputError;
  return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ParseResultLine(const std::string& text, TFileResult& result) {
  const json line = json::parse(text, nullptr, false);
  if (!line.is_object() || !line.contains("verdict")) return false;
  if (!VerdictFromName(line.value("verdict", std::string()), result.Verdict)) return false;
  result.Reason = line.value("reason", std::string());
  result.Errors = line.value("errors", 0);
  result.Warnings = line.value("warnings", 0);
  result.Infos = line.value("infos", 0);
  result.Bytes = line.value("bytes", int64_t{0});
  result.OutputError = line.value("output_error", std::string());
  return true;
}

std::string SignalName(int signal) {
  const char* abbrev = ::sigabbrev_np(signal);
  return abbrev != nullptr ? std::string("SIG") + abbrev : "signal " + std::to_string(signal);
}

struct TWorker {
  pid_t Pid = -1;
  TFileDescriptor In;   // requests to the worker
  TFileDescriptor Out;  // answers from the worker
  std::string Buffer;
  long Current = -1;  // the job being validated
  TClock::time_point Deadline;
  double Limit = 0;
  bool Ready = false;
  int Modules = -1;
};

bool Spawn(const TPoolOptions& options, TWorker& worker, int processor) {
  TFileDescriptor workerIn, requests, answers, workerOut;
  if (!MakePipe(workerIn, requests) || !MakePipe(answers, workerOut)) return false;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // A worker never outlives the parent, even when the parent is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (processor >= 0) KeepOnProcessor(processor);  // a refusal only costs speed
    ::dup2(workerIn.Get(), STDIN_FILENO);
    ::dup2(workerOut.Get(), STDOUT_FILENO);
    std::vector<std::string> words{PROGRAM_NAME, "validate", "--worker", "--format",
                                   FormatExtension(options.Format)};
    if (options.Force) words.emplace_back("--force");
    if (!options.Modules.empty()) words.push_back("--modules=" + options.Modules);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  // The worker's ends close here: its own copies are the only ones left.
  if (pid < 0) return false;
  worker = TWorker{};
  worker.Pid = pid;
  worker.In = std::move(requests);
  worker.Out = std::move(answers);
  return true;
}

// Ends a worker for good and says how it ended.
std::string Reap(TWorker& worker, bool kill) {
  worker.In.Reset();
  worker.Out.Reset();
  if (worker.Pid <= 0) return {};
  if (kill) ::kill(worker.Pid, SIGKILL);
  int status = 0;
  pid_t got;
  do got = ::waitpid(worker.Pid, &status, 0);
  while (got < 0 && errno == EINTR);
  worker.Pid = -1;
  if (got <= 0) return "crashed";
  if (WIFSIGNALED(status)) return "crashed: signal " + SignalName(WTERMSIG(status));
  if (WIFEXITED(status)) return "crashed: exit status " + std::to_string(WEXITSTATUS(status));
  return "crashed";
}

std::string SecondsText(double seconds) {
  char text[32];
  if (seconds == std::floor(seconds))
    std::snprintf(text, sizeof text, "%.0f", seconds);
  else
    std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

double TimeLimitSeconds(const TPoolOptions& options, int64_t size) {
  if (options.TimeoutSeconds > 0) return options.TimeoutSeconds;
  return 120.0 + static_cast<double>(size < 0 ? 0 : size) / (8.0 * 1024 * 1024);
}

int RunWorker(TCliFormat format, bool force, uint32_t modules) {
  // Ctrl+C reaches the whole process group; the parent decides what stops.
  ::signal(SIGINT, SIG_IGN);
  TFileDescriptor answers(::dup(STDOUT_FILENO));
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  if (!answers) return EXIT_USAGE_ERROR;

  // A worker allocates the same buffers for every file (the modules' read
  // buffers of up to a few MiB). The allocator would hand them back to the
  // system after each file and fault them in again for the next one, which
  // costs more than validating a small file; a worker keeps them instead.
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  TMediaValidationSession session(ProgramFolder(), u"", modules, ALL_MODULE_KINDS);
  session.LoadValidationModules();
  json hello;
  hello["ready"] = true;
  hello["modules"] = session.ModuleCount();
  hello["missing"] = MissingModules(session, modules);
  if (!WriteAllTo(answers.Get(), hello.dump() + "\n")) return EXIT_USAGE_ERROR;

  char* field = nullptr;
  size_t capacity = 0;
  for (;;) {
    ssize_t n = ::getdelim(&field, &capacity, '\0', stdin);
    if (n <= 0) break;
    const std::string reportPath(field, static_cast<size_t>(n - 1));
    n = ::getdelim(&field, &capacity, '\0', stdin);
    if (n <= 0) break;
    const std::string fileName(field, static_cast<size_t>(n - 1));
    const TFileResult result = ValidateOneFile(session, fileName, reportPath, format, force);
    if (!WriteAllTo(answers.Get(), ResultLine(result))) break;
  }
  std::free(field);
  answers.Reset();  // the parent sees the end of the answers before the modules unload
  return EXIT_SUCCESS_STATUS;
}

bool RunPool(const std::vector<TPoolJob>& jobs, const TPoolOptions& options,
             const std::function<void(size_t, const TFileResult&)>& done,
             const std::function<void()>& tick, bool& interrupted, std::string& error) {
  interrupted = false;
  ::signal(SIGPIPE, SIG_IGN);  // a dead worker's pipe gives EPIPE instead
  const size_t count = std::max<size_t>(1, std::min<size_t>(options.Jobs, jobs.size()));
  std::vector<TWorker> workers(count);
  // A worker's threads take turns: the module's thread works while the one
  // that called it waits. Kept on one processor, they hand over without
  // waking a processor that sleeps, which on a virtual machine costs more
  // than validating a small file. Only when every worker can have one of its
  // own; a replaced worker takes the processor of the one it replaces.
  std::vector<int> processors;
  if (options.KeepWorkersOnProcessors) {
    processors = UsableProcessors();
    if (processors.size() < count) processors.clear();
  }
  auto processorOf = [&](const TWorker& worker) {
    return processors.empty() ? -1 : processors[static_cast<size_t>(&worker - workers.data())];
  };
  for (TWorker& worker : workers)
    if (!Spawn(options, worker, processorOf(worker))) {
      error = std::string("cannot start a worker process: ") + std::strerror(errno);
      for (TWorker& w : workers) Reap(w, true);
      return false;
    }

  size_t next = 0, finished = 0;
  auto fail = [&](TWorker& worker, const std::string& reason) {
    if (worker.Current >= 0) {
      TFileResult result;
      result.Verdict = TVerdict::Error;
      result.Reason = reason;
      result.Bytes = jobs[static_cast<size_t>(worker.Current)].Size;
      done(static_cast<size_t>(worker.Current), result);
      ++finished;
    }
    worker.Current = -1;
  };

  while (finished < jobs.size()) {
    if (Interrupted()) {
      interrupted = true;
      break;
    }
    // Hand out work to idle workers; a replaced worker takes work at once
    // (its requests wait in the pipe while it loads the modules).
    for (TWorker& worker : workers) {
      if (worker.Pid <= 0 && next < jobs.size() && !Spawn(options, worker, processorOf(worker))) {
        error = std::string("cannot start a worker process: ") + std::strerror(errno);
        for (TWorker& w : workers) Reap(w, true);
        return false;
      }
      if (worker.Pid > 0 && worker.Current < 0 && next < jobs.size() && worker.Modules != 0) {
        const TPoolJob& job = jobs[next];
        std::string request = job.ReportPath;
        request += '\0';
        request += job.Path;
        request += '\0';
        worker.Current = static_cast<long>(next++);
        worker.Limit = TimeLimitSeconds(options, job.Size);
        worker.Deadline =
            TClock::now() + std::chrono::milliseconds(static_cast<int64_t>(worker.Limit * 1000.0));
        if (!WriteAllTo(worker.In.Get(), request)) fail(worker, Reap(worker, true));
      }
    }

    std::vector<pollfd> fds;
    std::vector<TWorker*> owners;
    auto wait = std::chrono::milliseconds(200);
    const auto now = TClock::now();
    for (TWorker& worker : workers) {
      if (worker.Pid <= 0) continue;
      fds.push_back({worker.Out.Get(), POLLIN, 0});
      owners.push_back(&worker);
      if (worker.Current >= 0)
        wait = std::min(
            wait,
            std::max(std::chrono::milliseconds(0),
                     std::chrono::duration_cast<std::chrono::milliseconds>(worker.Deadline - now)));
    }
    if (fds.empty()) break;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()) + 1);
    if (ready < 0 && errno != EINTR) {
      error = std::string("poll: ") + std::strerror(errno);
      break;
    }
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      TWorker& worker = *owners[i];
      char buffer[4096];
      const ssize_t n = ::read(worker.Out.Get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // The worker ended: a crash in a module, or it could not start.
        fail(worker, Reap(worker, false));
        continue;
      }
      worker.Buffer.append(buffer, static_cast<size_t>(n));
      size_t newline;
      while ((newline = worker.Buffer.find('\n')) != std::string::npos) {
        const std::string line = worker.Buffer.substr(0, newline);
        worker.Buffer.erase(0, newline + 1);
        const json hello = json::parse(line, nullptr, false);
        if (hello.is_object() && hello.contains("ready")) {
          worker.Ready = true;
          worker.Modules = hello.value("modules", 0);
          const std::string missing = hello.value("missing", std::string());
          if (worker.Modules == 0 || !missing.empty()) {
            error = missing.empty() ? "No validation modules found."
                                    : "validate: module not found: " + missing;
            for (TWorker& w : workers) Reap(w, true);
            return false;
          }
          continue;
        }
        TFileResult result;
        if (worker.Current < 0) continue;
        if (!ParseResultLine(line, result)) {
          fail(worker, Reap(worker, true));
          break;
        }
        done(static_cast<size_t>(worker.Current), result);
        ++finished;
        worker.Current = -1;
      }
    }
    const auto after = TClock::now();
    for (TWorker& worker : workers)
      if (worker.Pid > 0 && worker.Current >= 0 && after >= worker.Deadline) {
        Reap(worker, true);
        fail(worker, "timed out after " + SecondsText(worker.Limit) + " s");
      }
    if (tick) tick();
  }

  for (TWorker& worker : workers) {
    if (worker.Current >= 0) {
      TFileResult result;
      result.Verdict = TVerdict::Stopped;
      result.Bytes = jobs[static_cast<size_t>(worker.Current)].Size;
      done(static_cast<size_t>(worker.Current), result);
      worker.Current = -1;
      Reap(worker, true);
    } else {
      Reap(worker, false);  // its input closes first, so it ends by itself
    }
  }
  return error.empty();
}

}  // namespace riffo::cli
