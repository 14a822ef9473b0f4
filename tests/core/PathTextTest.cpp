// SPDX-License-Identifier: GPL-3.0-or-later
// File names outside ASCII, and the program's own folder found whatever the working folder.
#include "TempDir.h"

#include "common/AtomicFile.h"
#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "common/PathText.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace zelbor;
using zelbor::test::ReadText;
using zelbor::test::TempDir;
using zelbor::test::WriteText;
namespace fs = std::filesystem;

namespace {

// Latin letters with accents (in the Windows-1252 code page) and Cyrillic ones (outside it).
const std::string kName = "R\xc3\xa9glages \xd0\x96\xd0\xb8\xd0\xbc.el";

// The names in a folder, as UTF-8.
std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(PathText(e.path().filename()));
    return names;
}

// Runs `program` with `arg` from the working folder `cwd`; returns its exit status.
int RunFrom(const fs::path& program, const std::string& arg, const fs::path& cwd)
{
#ifdef _WIN32
    std::wstring line = L"\"" + program.wstring() + L"\" \"" + PathFromText(arg).wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
#else
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) == 0)
            execl(program.c_str(), program.c_str(), arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace

TEST(PathText, NamesOutsideAsciiReachTheFileSystemUnchanged)
{
    TempDir dir;
    const fs::path file = dir.path() / PathFromText(kName);
    EXPECT_EQ(PathText(file.filename()), kName);

    WriteFileAtomically(file, "x=1\n");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{kName}); // no stray temporary left either
    EXPECT_EQ(ReadText(file), "x=1\n");

    IniEditor editor = IniEditor::Load(file);
    editor.Set("S", "k", "v");
    editor.Save(file);
    EXPECT_EQ(IniFile::Load(file).ReadString("S", "k", ""), "v");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{kName});
}

TEST(PathText, ErrorMessagesNameTheFileInUtf8)
{
    TempDir dir;
    const fs::path folder = dir.path() / PathFromText(kName); // a folder where a file is expected
    fs::create_directories(folder);
    try {
        IniEditor::Load(folder);
        FAIL() << "a folder was taken for a file";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(kName), std::string::npos) << e.what();
    }
    try {
        WriteFileAtomically(dir.path() / PathFromText(kName) / "missing" / "x.el", "x");
        FAIL() << "written into a folder that does not exist";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(kName), std::string::npos) << e.what();
    }
}

TEST(ExecutableFolder, IsTheProgramsOwnFolderFromAnyWorkingFolder)
{
    const std::string probeName = std::string("zelbor-folder-probe") +
#ifdef _WIN32
                                  ".exe";
#else
                                  "";
#endif
    const fs::path probe = RunningExecutableFolder() / probeName; // built beside the tests
    ASSERT_TRUE(fs::exists(probe)) << PathText(probe);

    TempDir ship, elsewhere;
    const fs::path folder = ship.path() / PathFromText("Zelbor \xc3\x9c \xd0\x96"); // "Zelbor Ü Ж"
    fs::create_directories(folder);
    const fs::path copy = folder / probeName;
    fs::copy_file(probe, copy);
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);

    const fs::path out = elsewhere.path() / "folder.txt";
    ASSERT_EQ(RunFrom(copy, PathText(out), elsewhere.path()), 0);
    EXPECT_EQ(PathFromText(ReadText(out)), folder);
}
