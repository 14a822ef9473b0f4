// SPDX-License-Identifier: GPL-3.0-or-later
// As-found snapshots: ordinary profiles with a section of their own, written whole, never over
// another file, listed newest first.
#include "TempDir.h"
#include "common/Errors.h"
#include "profile/Snapshot.h"

#include <gtest/gtest.h>

namespace zelbor {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

ControllerInfo Info(std::string model = "M250", std::string firmware = "2015")
{
    ControllerInfo info;
    info.manufacturer = "ZLBR";
    info.model = std::move(model);
    info.hardwareVersion = "12";
    info.firmwareVersion = std::move(firmware);
    info.nominalVoltageCode = 2;
    info.maxCurrent = 25;
    return info;
}

ProfileValues SomeValues()
{
    ProfileValues v = DefaultProfileValues();
    FindParameter("speBasCurrLim")->Value(v) = 18;
    FindParameter("cbbPASSpdLim")->Value(v) = -1; // a byte no item shows
    FindParameter("speThrStartVolt")->Value(v) = 11;
    return v;
}

std::chrono::system_clock::time_point At(int seconds)
{
    return std::chrono::system_clock::time_point{} + std::chrono::seconds{1796780525 + seconds};
}

TEST(Snapshot, IsAProfileThatAnyReaderLoadsPlusItsOwnSection)
{
    test::TempDir dir;
    const SnapshotHeader header = MakeSnapshotHeader(Info(), At(0), "window");
    EXPECT_EQ(header.time, "2026-12-09T01:42:05Z");
    EXPECT_EQ(header.firmwareVersion, "V2.0.1.5");
    const fs::path file = WriteSnapshot(dir / "Snapshots" / "deeper", header, SomeValues());
    EXPECT_EQ(file.filename(), "2026-12-09_014205_M250_V2.0.1.5.el");
    EXPECT_EQ(ReadProfile(file), SomeValues()); // the plain profile reader, which skips the section
    const std::optional<Snapshot> back = ReadSnapshot(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->values, SomeValues());
    EXPECT_EQ(back->header.manufacturer, "ZLBR");
    EXPECT_EQ(back->header.nominalVoltage, "48V");
    EXPECT_EQ(back->header.maxCurrent, "25A");
    EXPECT_EQ(back->header.source, "window");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

TEST(Snapshot, NeverReplacesAFileAndKeepsControllerTextsOnTheirLine)
{
    test::TempDir dir;
    // A model of line breaks, '=' and a path separator must neither break the INI line nor the
    // file name; the same second twice gives a second file, the first one stays as it was.
    const SnapshotHeader header = MakeSnapshotHeader(Info("a\nb/", std::string("\0\0\0\0", 4)), At(0), "window");
    const fs::path first = WriteSnapshot(dir.path(), header, SomeValues());
    const std::string firstText = test::ReadText(first);
    const fs::path second = WriteSnapshot(dir.path(), header, DefaultProfileValues());
    EXPECT_NE(first, second);
    EXPECT_EQ(test::ReadText(first), firstText);
    EXPECT_EQ(first.parent_path(), dir.path());
    EXPECT_EQ(first.filename().string().find('\n'), std::string::npos);
    const std::optional<Snapshot> back = ReadSnapshot(first);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->header.model, "a?b/");
    EXPECT_EQ(back->header.source, "window"); // the key after the model is still read as itself
    EXPECT_EQ(ReadSnapshot(second)->values, DefaultProfileValues());
}

TEST(Snapshot, AFolderThatCannotBeMadeIsNamed)
{
    test::TempDir dir;
    test::WriteText(dir / "data", "a file where the folder should be");
    try {
        WriteSnapshot(dir / "data" / "Snapshots", MakeSnapshotHeader(Info(), At(0), "window"), SomeValues());
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "data" / "Snapshots").string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::ReadText(dir / "data"), "a file where the folder should be");
}

TEST(Snapshot, ListsSnapshotsNewestFirstAndLeavesOtherProfilesOut)
{
    test::TempDir dir;
    EXPECT_TRUE(ListSnapshots(dir / "missing").empty());
    WriteSnapshot(dir.path(), MakeSnapshotHeader(Info("OLD1"), At(0), "window"), SomeValues());
    WriteSnapshot(dir.path(), MakeSnapshotHeader(Info("NEW1"), At(3600), "zelbor-cli write"), SomeValues());
    WriteSnapshot(dir.path(), MakeSnapshotHeader(Info("MID1"), At(60), "window"), SomeValues());
    test::WriteText(dir / "touring.el", "[Basic]\nLC=12\n");
    test::WriteText(dir / "notes.txt", "[Snapshot]\nTime=2030-01-01T00:00:00Z\n");
    const std::vector<Snapshot> list = ListSnapshots(dir.path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].header.model, "NEW1");
    EXPECT_EQ(list[1].header.model, "MID1");
    EXPECT_EQ(list[2].header.model, "OLD1");
}

} // namespace
} // namespace zelbor
