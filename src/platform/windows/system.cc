#include "platform/system.h"

// clang-format off
#include "platform/windows/win32.h"
#include <aclapi.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <map>

#include "platform/run_files.h"

namespace platform {

namespace {

// Quotes one argument so that the started program's C runtime splits it back
// out unchanged, whatever it holds: blanks and quotes stay inside it, and
// backslashes count double only before a quote.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring out = L"\"";
  for (auto it = argument.begin();; ++it) {
    size_t backslashes = 0;
    for (; it != argument.end() && *it == L'\\'; ++it) ++backslashes;
    if (it == argument.end()) {
      out.append(backslashes * 2, L'\\');
      break;
    }
    out.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out.push_back(*it);
  }
  return out + L"\"";
}

void closeHandle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// Starts the tool with exactly these three handles as its standard streams,
// and no other handle of ours: each is inheritable only for the moment of the
// start (the program starts its runs one at a time). It runs in job, which it
// joins before it runs a single instruction.
HANDLE startProcess(const std::wstring& program, std::wstring commandLine, HANDLE input,
                    HANDLE output, HANDLE error, HANDLE job) {
  HANDLE handles[] = {input, output, error};
  size_t count = output == error ? 2 : 3;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> list(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = error;
  if (InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  count * sizeof(HANDLE), nullptr, nullptr)) {
      startup.lpAttributeList = attributes;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    SetHandleInformation(handles[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  PROCESS_INFORMATION process{};
  // No console of its own: its streams are ours, and the console's Ctrl-C stays ours.
  DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED |
                (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0);
  bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                                nullptr, nullptr, &startup.StartupInfo, &process);
  for (size_t i = 0; i < count; ++i) SetHandleInformation(handles[i], HANDLE_FLAG_INHERIT, 0);
  if (startup.lpAttributeList) DeleteProcThreadAttributeList(attributes);
  if (!started) return nullptr;
  // A system that cannot nest jobs (Windows 7 with Mailvak in a job of its
  // own) refuses the job: the run goes on without it rather than not at all.
  if (job != nullptr) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  return process.hProcess;
}

// The full path of a file in the current directory.
std::wstring fullPath(const std::wstring& name) {
  DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  std::wstring path(n, L'\0');
  n = GetFullPathNameW(name.c_str(), n, path.data(), nullptr);
  path.resize(n);
  return path;
}

// A job whose processes end when its last handle closes, as it does however
// Mailvak ends; null when the system gives none.
HANDLE newRunJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job != nullptr &&
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    closeHandle(job);
  }
  return job;
}

bool isFree(const std::string& name) {
  return GetFileAttributesW(widen(name).c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

struct System::Runs {
  struct Started {
    HANDLE process = nullptr;
    HANDLE job = nullptr;     // the run's job, which ends it when closed
    HANDLE output = nullptr;  // the temporary result file, null when the output is dropped
    bool stopped = false;     // killed by stopTools
    RunFiles files;
  };
  std::map<int, Started> started;
  int lastRun = 0;
};

System::System() : runs_(std::make_unique<Runs>()) {}

System::~System() { stopTools(); }

ToolOutcome System::runTool(const ToolRun& run) {
  ToolOutcome outcome = ToolOutcome::NotStarted;
  int number = startTool(run, &outcome);
  return number > 0 ? finishRun(number) : outcome;
}

int System::startTool(const ToolRun& run, ToolOutcome* outcome) {
  // A fresh name that nobody else can have prepared: CREATE_NEW refuses
  // anything that stands under it, a link included.
  static unsigned serial = 0;
  Runs::Started started;
  started.files.outputFile = run.outputFile;
  if (!run.outputFile.empty()) {
    PSECURITY_DESCRIPTOR sd = ownerOnlySecurity(false);
    SECURITY_ATTRIBUTES security = {sizeof security, sd, FALSE};
    for (int attempt = 0; started.output == nullptr && attempt < 100; ++attempt) {
      started.files.outputTemporary =
          runTemporaryName(run.outputFile, GetCurrentProcessId(), ++serial);
      HANDLE file =
          CreateFileW(widen(started.files.outputTemporary).c_str(), GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_DELETE, sd ? &security : nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (file != INVALID_HANDLE_VALUE) started.output = file;
      if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    LocalFree(sd);
  }
  // For the side files only free names: the tool makes the files itself.
  bool sideNamed = nameSideFiles(run, GetCurrentProcessId(), &serial, isFree, &started.files);
  if ((!run.outputFile.empty() && started.output == nullptr) || !sideNamed) {
    if (started.output != nullptr) {
      closeHandle(started.output);
      deleteFile(started.files.outputTemporary);
    }
    *outcome = ToolOutcome::NotWritten;
    return 0;
  }
  HANDLE discard = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  HANDLE passwordRead = nullptr, passwordWrite = nullptr;
  HANDLE process = nullptr;
  started.job = newRunJob();
  // The tool reads one line of at most 4096 bytes: the pipe holds it all, so
  // the write below never waits for the tool.
  if (discard != INVALID_HANDLE_VALUE && CreatePipe(&passwordRead, &passwordWrite, nullptr, 8192)) {
    std::wstring program = fullPath(widen(ToolFileName));
    std::wstring commandLine = quoted(program);
    for (const std::string& argument : toolArguments(run, started.files)) {
      commandLine += L" " + quoted(widen(argument));
    }
    process = startProcess(program, commandLine, passwordRead,
                           started.output ? started.output : discard, discard, started.job);
  }
  closeHandle(passwordRead);
  if (process != nullptr) {
    // A tool that ends before it reads makes this write fail, nothing worse.
    std::string line = run.password.substr(0, 4096) + "\n";
    DWORD done = 0;
    WriteFile(passwordWrite, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
  }
  closeHandle(passwordWrite);
  closeHandle(discard);
  if (process == nullptr) {
    closeHandle(started.job);
    closeHandle(started.output);
    settleRunFiles(ToolOutcome::NotStarted, started.files);
    *outcome = ToolOutcome::NotStarted;
    return 0;
  }
  started.process = process;
  runs_->started[++runs_->lastRun] = started;
  return runs_->lastRun;
}

ToolOutcome System::finishRun(int number) {
  Runs::Started run = runs_->started[number];
  runs_->started.erase(number);
  WaitForSingleObject(run.process, INFINITE);
  DWORD status = 0;
  ToolOutcome outcome = run.stopped || !GetExitCodeProcess(run.process, &status)
                            ? ToolOutcome::BrokenOff
                            : outcomeOfExitStatus(status);
  closeHandle(run.process);
  closeHandle(run.job);
  if (run.output != nullptr && !CloseHandle(run.output) && outcome == ToolOutcome::Done) {
    outcome = ToolOutcome::NotWritten;
  }
  return settleRunFiles(outcome, run.files);
}

int System::waitForTools(int milliseconds, ToolOutcome* outcome) {
  // One wait covers at most 64 runs; those past them are looked at without waiting.
  std::vector<HANDLE> ends;
  std::vector<int> numbers;
  for (const auto& [number, run] : runs_->started) {
    if (ends.size() < MAXIMUM_WAIT_OBJECTS) {
      ends.push_back(run.process);
      numbers.push_back(number);
    } else if (WaitForSingleObject(run.process, 0) == WAIT_OBJECT_0) {
      *outcome = finishRun(number);
      return number;
    }
  }
  if (ends.empty()) return 0;
  DWORD ended = WaitForMultipleObjects(static_cast<DWORD>(ends.size()), ends.data(), FALSE,
                                       milliseconds < 0 ? INFINITE : milliseconds);
  if (ended >= WAIT_OBJECT_0 + ends.size()) return 0;
  int number = numbers[ended - WAIT_OBJECT_0];
  *outcome = finishRun(number);
  return number;
}

void System::stopTools() {
  for (auto& [number, run] : runs_->started) {
    if (run.job == nullptr || !TerminateJobObject(run.job, 1)) TerminateProcess(run.process, 1);
    run.stopped = true;
  }
  while (!runs_->started.empty()) {
    RunFiles files = runs_->started.begin()->second.files;
    finishRun(runs_->started.begin()->first);
    // Under wine a killed run's handles can close a moment after it counts
    // as ended, and its files go only with them.
    std::vector<std::string> names = {files.outputTemporary};
    for (const std::string& temporary : files.sideTemporaries) {
      names.push_back(temporary);
      names.push_back(temporary + ".new");
    }
    for (const std::string& name : names) {
      for (int wait = 0; !name.empty() && !isFree(name) && wait < 100; ++wait) {
        Sleep(10);
        deleteFile(name);
      }
    }
  }
}

void System::removeStaleRunFiles() {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"*", &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> stale;
  do {
    std::string name = narrow(found.cFileName);
    if (isRunTemporaryName(name)) stale.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::string& name : stale) deleteFile(name);
}

void System::startDetached(const std::string& file) {
  // The viewer may be a shell extension that needs COM on this thread.
  static bool com =
      SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  (void)com;
  ShellExecuteW(nullptr, L"open", widen(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string System::environmentVariable(const std::string& name) {
  std::wstring wideName = widen(name);
  DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (n == 0) return "";
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(wideName.c_str(), value.data(), n);
  value.resize(n);
  return narrow(value);
}

std::string System::homeDirectory() { return environmentVariable("USERPROFILE"); }

bool System::makeDirectory(const std::string& path) {
  PSECURITY_DESCRIPTOR sd = ownerOnlySecurity(true);
  SECURITY_ATTRIBUTES security = {sizeof security, sd, FALSE};
  bool made = CreateDirectoryW(widen(path).c_str(), sd ? &security : nullptr);
  LocalFree(sd);
  return made;
}

bool System::ownPrivateDirectory(const std::string& path) {
  // The folder itself, never what a junction or link under its name points to.
  HANDLE directory =
      CreateFileW(widen(path).c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  PSID owner = nullptr;
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  bool own = GetFileInformationByHandle(directory, &info) &&
             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
             !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
             GetSecurityInfo(directory, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                             nullptr, &access, nullptr, &sd) == ERROR_SUCCESS;
  std::vector<unsigned char> user = tokenSid(TokenUser), owners = tokenSid(TokenOwner);
  if (own) {
    // The user's own: owned by the user, or by the owner the user's token gives
    // new objects (the Administrators group for an elevated administrator).
    own = (!user.empty() && EqualSid(owner, user.data())) ||
          (!owners.empty() && EqualSid(owner, owners.data()));
  }
  // Private: a protected access list (nothing comes in from the parent) that
  // lets no one but the user in. No list at all lets everyone in.
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool onlyUser = own && access != nullptr && !user.empty() &&
                  GetSecurityDescriptorControl(sd, &control, &revision) &&
                  (control & SE_DACL_PROTECTED);
  for (DWORD i = 0; onlyUser && i < access->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    onlyUser = GetAce(access, i, reinterpret_cast<void**>(&ace)) &&
               (ace->AceType == ACCESS_DENIED_ACE_TYPE ||
                (ace->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                 EqualSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, user.data())));
  }
  if (own && !onlyUser) {
    // The access list a new folder gets (makeDirectory). SetSecurityInfo passes
    // it on to what the folder holds; wine leaves folders alone there and takes
    // the list from SetKernelObjectSecurity only.
    PSECURITY_DESCRIPTOR wanted = ownerOnlySecurity(true);
    PACL only = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    own = wanted && GetSecurityDescriptorDacl(wanted, &present, &only, &defaulted) && present &&
          SetSecurityInfo(directory, SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, only, nullptr) == ERROR_SUCCESS &&
          SetKernelObjectSecurity(directory, DACL_SECURITY_INFORMATION, wanted);
    LocalFree(wanted);
  }
  LocalFree(sd);
  CloseHandle(directory);
  return own;
}

bool System::lockCurrentDirectory() {
  // Opened without sharing and never closed: no one else can open it while
  // this process lives, and the system closes it however the process ends.
  HANDLE lock = CreateFileW(L"mailvak.lock", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return lock != INVALID_HANDLE_VALUE;
}

bool System::changeDirectory(const std::string& path) {
  return SetCurrentDirectoryW(widen(path).c_str());
}

std::string System::currentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring path(n, L'\0');
  n = GetCurrentDirectoryW(n, path.data());
  path.resize(n);
  return narrow(path);
}

bool System::deleteFile(const std::string& name) { return DeleteFileW(widen(name).c_str()); }

bool System::renameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool System::fileExists(const std::string& name) {
  return GetFileAttributesW(widen(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool System::copyFile(const std::string& from, const std::string& to) {
  return CopyFileW(widen(from).c_str(), widen(to).c_str(), FALSE);
}

// Windows puts a folder's entries on the disk with the write-through rename.
void System::syncDirectory(const std::string&) {}

std::string System::executableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n;
  while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
             path.size() &&
         path.size() < 32768) {
    path.resize(path.size() * 2);
  }
  path.resize(n);
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "" : narrow(path.substr(0, slash));
}

// As the command interpreter's ver prints it: "Microsoft Windows [Version
// 6.1.7601]", with the update number after the build where Windows keeps one.
std::string System::versionText() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0) return "";
  std::string text = "Microsoft Windows [Version " + std::to_string(version.dwMajorVersion) + "." +
                     std::to_string(version.dwMinorVersion) + "." +
                     std::to_string(version.dwBuildNumber);
  DWORD update = 0, size = sizeof update;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"UBR",
                   RRF_RT_REG_DWORD, nullptr, &update, &size) == ERROR_SUCCESS) {
    text += "." + std::to_string(update);
  }
  return text + "]";
}

}  // namespace platform
