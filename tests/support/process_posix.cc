// Running a program on POSIX systems: posix_spawn with its output sent to temporary files.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/process.h"

extern char** environ;

namespace quillmark::testing {
namespace {

std::string TempPath(const char* what) {
  char path[] = "/tmp/quillmark-process-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error(std::string("cannot make a file for ") + what);
  close(fd);
  return path;
}

std::string ReadAndRemove(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input_file) {
  const std::string out_path = TempPath("standard output");
  const std::string err_path = TempPath("standard error");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(
      &actions, STDIN_FILENO, input_file.empty() ? "/dev/null" : input_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_TRUNC,
                                   0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_TRUNC,
                                   0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProcessResult result;
  if (spawned == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.peak_kib = usage.ru_maxrss;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  result.out = ReadAndRemove(out_path);
  result.err = ReadAndRemove(err_path);
  return result;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace quillmark::testing
