// Runs a program of the project as a user would: in a folder, with its
// standard input from a string and its standard output and error captured
// through files in that folder, and the exit status.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TempFolder.h"

namespace riffo::test {

struct TRun {
  int Status = -1;  // the exit status; -1 when the program did not exit (a signal)
  std::string Out;
  std::string Err;
};

struct TProgramCall {
  TProgramCall(std::string program, std::vector<std::string> args, std::string folder)
      : Program(std::move(program)), Args(std::move(args)), Folder(std::move(folder)) {}

  std::string Program;
  std::vector<std::string> Args;  // after the program's name
  std::string Folder;             // runs there; .stdin, .stdout and .stderr in it carry the streams
  std::string Input;              // standard input
  std::string StdoutPath;  // when set, standard output goes there instead and is not captured
  // The environment, one "NAME=value" each; the test's own when not set.
  std::vector<std::string> Environment;
  bool OwnEnvironment = false;
};

// Starts the program and returns its process id (the caller may signal it).
inline pid_t StartProgram(const TProgramCall& call) {
  const std::string inFile = call.Folder + "/.stdin";
  const std::string outFile = call.StdoutPath.empty() ? call.Folder + "/.stdout" : call.StdoutPath;
  const std::string errFile = call.Folder + "/.stderr";
  WriteFileText(inFile, call.Input);
  // Everything the child needs is built before the fork.
  std::vector<char*> argv{const_cast<char*>(call.Program.c_str())};
  for (const auto& a : call.Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : call.Environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(call.Folder.c_str()) != 0) ::_exit(127);
    const int in = ::open(inFile.c_str(), O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (call.OwnEnvironment)
      ::execve(call.Program.c_str(), argv.data(), envp.data());
    else
      ::execv(call.Program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

// Waits for a started program and collects what it wrote.
inline TRun FinishProgram(pid_t pid, const TProgramCall& call) {
  TRun run;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.Status = WEXITSTATUS(status);
  if (call.StdoutPath.empty()) run.Out = ReadFileText(call.Folder + "/.stdout");
  run.Err = ReadFileText(call.Folder + "/.stderr");
  return run;
}

inline TRun RunProgram(const TProgramCall& call) { return FinishProgram(StartProgram(call), call); }

}  // namespace riffo::test
