// SPDX-License-Identifier: GPL-3.0-or-later
// The core's file replacement on Windows: attributes survive, failures leave the old file whole
// and no temporary behind.
#include "common/AtomicFile.h"
#include "common/Errors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zelbor {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AtomicFileWin32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("zelbor-atomic-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        for (const auto& e : fs::directory_iterator(dir))
            SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(dir);
    }
    std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

    fs::path dir;
};

TEST_F(AtomicFileWin32Test, ReplacesKeepingAttributesAndCreatesNewFiles)
{
    const fs::path file = dir / "p.el";
    std::ofstream(file, std::ios::binary) << "old";
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    WriteFileAtomically(file, "new content");
    EXPECT_EQ(Read(file), "new content");
    EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    WriteFileAtomically(dir / "fresh.ini", std::string(100000, 'x'));
    EXPECT_EQ(Read(dir / "fresh.ini"), std::string(100000, 'x'));
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(AtomicFileWin32Test, FailuresKeepTheOldFileNameItAndLeaveNoTemporary)
{
    const fs::path locked = dir / "locked.ini";
    std::ofstream(locked, std::ios::binary) << "keep me";
    ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        WriteFileAtomically(locked, "data");
        FAIL() << "a read-only file was replaced";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(locked.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(Read(locked), "keep me");

    fs::create_directories(dir / "folder" / "inside");
    EXPECT_THROW(WriteFileAtomically(dir / "folder", "data"), EFileError);
    EXPECT_THROW(WriteFileAtomically(dir / "missing" / "x.ini", "data"), EFileError);
    EXPECT_TRUE(fs::is_directory(dir / "folder" / "inside"));
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(AtomicFileWin32Test, OnlyFilesOnDiskAreRead)
{
    std::string text = "untouched";
    WriteFileAtomically(dir / "a.ini", "[S]\r\nk=v\r\n");
    ASSERT_TRUE(ReadWholeFile(dir / "a.ini", text));
    EXPECT_EQ(text, "[S]\r\nk=v\r\n");
    text = "untouched";
    EXPECT_FALSE(ReadWholeFile(dir, text));   // a folder
    EXPECT_FALSE(ReadWholeFile("NUL", text)); // a device, which would read as empty
    EXPECT_FALSE(ReadWholeFile(dir / "missing.ini", text));
    EXPECT_EQ(text, "untouched");
}

} // namespace
} // namespace zelbor
