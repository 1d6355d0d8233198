// Running a program on Windows: CreateProcessW with its output sent to temporary files.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "host/host.h"
#include "support/process.h"

namespace quillmark::testing {
namespace {

std::wstring Wide(const std::string& text) { return AsaApi::Tools::Utf8Decode(text); }

// One argument quoted so that the program's own split gives it back unchanged.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

std::wstring TempPath() {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  if (GetTempFileNameW(folder, L"qmp", 0, path) == 0) {
    throw std::runtime_error("cannot make a temporary file");
  }
  return path;
}

HANDLE Open(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadAndRemove(const std::wstring& path) {
  std::string text;
  {
    std::ifstream file(path.c_str(), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  DeleteFileW(path.c_str());
  return text;
}

// One run of the program; `start_error` is CreateProcessW's error when it could not start it.
ProcessResult RunOnce(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input_file, DWORD& start_error) {
  std::wstring line;
  AppendQuoted(line, Wide(program));
  for (const std::string& arg : args) AppendQuoted(line, Wide(arg));
  const std::wstring out_path = TempPath();
  const std::wstring err_path = TempPath();
  HANDLE in = Open(input_file.empty() ? L"NUL" : Wide(input_file), false);
  HANDLE out = Open(out_path, true);
  HANDLE err = Open(err_path, true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  ProcessResult result;
  const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process) != 0;
  start_error = started ? 0 : GetLastError();
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exit_code = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  result.out = ReadAndRemove(out_path);
  result.err = ReadAndRemove(err_path);
  return result;
}

}  // namespace

// Every program here runs under Wine, which now and then fails to start one.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input_file) {
  DWORD start_error = 0;
  ProcessResult result = RunOnce(program, args, input_file, start_error);
  if (start_error != 0 || WineDidNotStart(result)) {
    result = RunOnce(program, args, input_file, start_error);
  }
  if (start_error != 0) {
    result.err += "CreateProcessW failed with error " + std::to_string(start_error) + "\n";
  }
  return result;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

}  // namespace quillmark::testing
