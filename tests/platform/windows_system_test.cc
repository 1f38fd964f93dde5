// The Windows system calls as the program sees them: tool runs without a
// command interpreter, files that are plain files only, the working directory,
// its lock and the version text.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <filesystem>
#include <regex>

#include "app/startup.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/windows/win32.h"
#include "support/harness.h"

namespace platform {
namespace {

using testing_support::readFile, testing_support::writeFile;

std::vector<std::string> namesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Values reach the tool as they are, blanks, quotes, the interpreter's
// special characters and bytes of no UTF-8 included; the password only on
// its standard input.
TEST(WindowsToolRun, ArgumentsAsGivenAndAResultFileOfItsOwn) {
  testing_support::ScopedTempDir dir;
  System system;
  ASSERT_TRUE(system.copyFile(system.executableDirectory() + "\\echo_tool.exe", ToolFileName));
  writeFile("Get41.txt", "oud");
  ToolRun run;
  run.arguments = {"host", "jan \"piet\"", "a\\\" b\\", "", "%PATH%&x|y>z", "j\xe4\xe4n", "-"};
  run.password = "ge heim\"";
  run.outputFile = "Get41.txt";
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  EXPECT_EQ(readFile("Get41.txt"),
            "ge heim\"\nhost\njan \"piet\"\na\\\" b\\\n\n%PATH%&x|y>z\nj\xe4\xe4n\n-\n");
  run.outputFile = "";
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  // Runs at once end in any order, each in its own file; a stopped run leaves its file as it was.
  ToolOutcome outcome;
  int slow = system.startTool({{"wait"}, "s", "Get42.txt", "", {}}, &outcome);
  std::set<int> started;
  for (const char* file : {"Get21.txt", "Get22.txt", "Get23.txt"})
    started.insert(system.startTool({{file}, "p", file, "", {}}, &outcome));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(started.erase(system.waitForTools(5000, &outcome)), 1u);
  EXPECT_EQ(readFile("Get22.txt"), "p\nGet22.txt\n");
  EXPECT_EQ(system.waitForTools(50, &outcome), 0);
  system.stopTools();
  EXPECT_GT(slow, 0);
  EXPECT_EQ(namesIn("."), (std::vector<std::string>{"Get21.txt", "Get22.txt", "Get23.txt",
                                                    "Get41.txt", "mboxtool.exe"}));
  ASSERT_TRUE(system.deleteFile(ToolFileName));
  EXPECT_EQ(system.runTool(run), ToolOutcome::NotStarted);
}

// Only a run that ended well replaces its files, the old side file first; on
// every other end both stay as they were, and no temporary file is left.
TEST(WindowsToolRun, FilesTakeTheirPlacesOnlyWhole) {
  testing_support::ScopedTempDir dir;
  System system;
  ASSERT_TRUE(system.copyFile(system.executableDirectory() + "\\echo_tool.exe", ToolFileName));
  writeFile(".Get41.txt.12.3.new", "");  // a dead Mailvak's, unlike the next
  writeFile(".Get41.txt.12", "");
  system.removeStaleRunFiles();
  const std::tuple<const char*, ToolOutcome, std::string> cases[] = {
      {"0", ToolOutcome::Done, "pw\nexit\n0|nieuw"},
      {"3", ToolOutcome::NotWritten, "oud|oud-seen"},
      {"9", ToolOutcome::BrokenOff, "oud|oud-seen"}};
  for (const auto& [status, outcome, files] : cases) {
    writeFile("Get41.txt", "oud");
    writeFile("seen", "oud-seen");
    EXPECT_EQ(system.runTool({{"exit", status, "seen"}, "pw", "Get41.txt", "", {"seen"}}), outcome);
    EXPECT_EQ(readFile("Get41.txt").substr(0, 9) + "|" + readFile("seen"), files);
    EXPECT_EQ(namesIn("."),
              (std::vector<std::string>{".Get41.txt.12", "Get41.txt", "mboxtool.exe", "seen"}));
  }
}

// Bytes of no UTF-8 cross to the tool as lone surrogates and come back as the
// same bytes; UTF-8 crosses as its characters.
TEST(WindowsText, WideCharactersKeepEveryByte) {
  for (std::string bytes : {"j\xe4\xe4n", "j\xc3\xa4n", "\xed\xa0\x80", "\xc0\xaf", "\xe2\x82",
                            "\xf0\x9f\x98\x80", "\xf4\x90\x80\x80", "\xf8", "a\xe2\x82\xacz\xff"}) {
    EXPECT_EQ(narrow(widen(bytes)), bytes) << testing::PrintToString(bytes);
  }
  EXPECT_EQ(widen("j\xe4\xe4n"), L"j\xdce4\xdce4n");
  EXPECT_EQ(widen("j\xc3\xa4\xf0\x9f\x98\x80"), L"j\u00e4\U0001F600");
  EXPECT_EQ(narrow(L"\xd800x"), "\xef\xbf\xbdx");
}

// Text files refuse devices and folders; a rename replaces; the identity sees a rewrite.
TEST(WindowsFiles, PlainFilesOnlyRenameOverAndIdentity) {
  testing_support::ScopedTempDir dir;
  System system;
  EXPECT_FALSE(TextFile("NUL", TextFile::Mode::Output).isOpen());
  EXPECT_FALSE(TextFile("CON", TextFile::Mode::Input).isOpen());
  std::filesystem::create_directory("map");
  std::string bytes;
  EXPECT_FALSE(readRegularFile("map", bytes).exists || identityOf("map").exists);
  TextFile("a", TextFile::Mode::Output).writeLine("nieuw");
  writeFile("b", "oud\n");
  FileIdentity before = identityOf("b");
  EXPECT_TRUE(system.renameFile("a", "b"));
  EXPECT_EQ(readRegularFile("b", bytes), identityOf("b"));
  EXPECT_EQ(bytes, "nieuw\r\n");
  EXPECT_NE(identityOf("b"), before);
  EXPECT_FALSE(system.fileExists("a"));
  EXPECT_TRUE(isAbsolutePath("C:\\x") && isAbsolutePath("\\\\server\\x") &&
              !isAbsolutePath("C:x") && !isAbsolutePath("\\x") && !isAbsolutePath("x"));
}

// Start-up makes %APPDATA%\Mailvak, the user's own, and holds its lock; a
// second start on it is refused. The version text is the command interpreter's.
TEST(WindowsStartup, WorkingDirectoryLockAndVersion) {
  testing_support::ScopedTempDir start;
  const std::string appdata = std::filesystem::current_path().string() + "\\roaming";
  const std::string work = appdata + "\\Mailvak";
  auto prepare = [&] {
    testing_support::TestProgram t;
    t.system.environment["APPDATA"] = appdata + "\\";
    t.system.version = System().versionText();
    t.console.pushKey("x");
    bool started = app::prepareConsole(t.program);
    return std::make_pair(started ? "" : t.state.exitMessage, t.state.windowRows);
  };
  auto [message, rows] = prepare();
  EXPECT_EQ(message, "");
  EXPECT_TRUE(rows == 54 || rows == 55);
  EXPECT_TRUE(System().ownPrivateDirectory(work));
  EXPECT_FALSE(System().ownPrivateDirectory(work + "\\mailvak.lock"));
  EXPECT_EQ(prepare().first, "  Mailvak draait al op werkmap " + work + ".");
  EXPECT_TRUE(
      std::regex_match(System().versionText(),
                       std::regex(R"(Microsoft Windows \[Version \d+\.\d+\.\d+(\.\d+)?\])")));
}

// The access list of a folder as text: its protection and its entries.
std::string accessListOf(const std::string& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  wchar_t* text = nullptr;
  std::string list = "?";
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &sd) == ERROR_SUCCESS &&
      ConvertSecurityDescriptorToStringSecurityDescriptorW(
          sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    list = std::filesystem::path(text).string();
  }
  LocalFree(text);
  LocalFree(sd);
  return list;
}

// A folder of the user's own that others may enter, or whose list comes from
// its parent, gets the owner-only list a new folder gets.
TEST(WindowsSystem, OwnFolderMadeOwnerOnly) {
  testing_support::ScopedTempDir dir;
  System system;
  ASSERT_TRUE(system.makeDirectory("nieuw"));
  const std::string ownerOnly = accessListOf("nieuw");
  for (const char* list : {"D:(A;OICI;FA;;;WD)", "D:(A;OICI;FA;;;BU)", ""}) {
    std::filesystem::remove_all("eigen");
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(list, SDDL_REVISION_1, &sd, nullptr);
    SECURITY_ATTRIBUTES security = {sizeof security, sd, FALSE};
    ASSERT_TRUE(CreateDirectoryA("eigen", *list ? &security : nullptr));
    LocalFree(sd);
    EXPECT_TRUE(system.ownPrivateDirectory("eigen")) << list;
    EXPECT_EQ(accessListOf("eigen"), ownerOnly) << list;
  }
}

}  // namespace
}  // namespace platform
