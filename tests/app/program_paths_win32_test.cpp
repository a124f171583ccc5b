// The program's paths on Windows: everything beside the executable, found through the module's
// file name, right for a folder of Chinese characters whatever the system code page is (the
// tests run under 936 and under 1252).
#include "app/program_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "service/file_system.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::GbkPath;

fs::path RunningExecutable() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return fs::path(path);
}

// Runs `program` with `argument` and waits for it; its exit code, or -1 when it could not run.
int RunProgram(const fs::path& program, const fs::path& argument) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\" \"" + argument.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

TEST(ProgramPathsTest, EverythingLivesBesideTheExecutable) {
  const std::string folder = GbkPath(RunningExecutable().parent_path());
  const ProgramPaths paths = CurrentProgramPaths();
  EXPECT_EQ(ProgramDirectory(), folder);
  EXPECT_EQ(paths.programDirectory, folder);
  EXPECT_NE(paths.programDirectory.back(), '\\');
  EXPECT_EQ(paths.settingsFile, folder + "\\yyst.ini");
  EXPECT_EQ(paths.defaultSaveFolder, folder);
}

TEST(ProgramPathsTest, AProgramInAFolderOfChineseCharactersFindsThatFolder) {
  const fs::path base = test::FreshTestFolder("program-paths");
  // 東 has "|" as its trail byte in GBK, 誠 has "\": neither may cut the folder's name.
  const fs::path folder = base / test::Utf8Path("音乐 工具 東誠");
  fs::create_directories(folder);
  const fs::path probe = folder / "ornivel.exe";
  fs::copy_file(ORNIVEL_PROGRAM_PATHS_PROBE, probe);
  const fs::path report = base / "paths.txt";
  ASSERT_EQ(RunProgram(probe, report), 0);
  const std::string expected = GbkPath(folder);
  EXPECT_EQ(expected, GbkPath(base) + Gbk("\\音乐 工具 東誠"));
  EXPECT_EQ(test::FileText(report), expected + "\n" + expected + "\\yyst.ini\n" + expected + "\n");
  fs::remove_all(base);
}

}  // namespace
}  // namespace ornivel
