// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One fixture for the serial component on either backend: TComm with the main window's settings,
// a recording owner, and the far end of its line, a pseudo-terminal here (PtyFarEnd.h) or a port
// that the Wine peer plays for the Windows build (../win32/WineFarEnd.h). The cases that hold for
// both are in CommTest.cpp; each backend keeps its own in a file of its own.
#include "serial/Comm.h"
#include "serial/CommPortSettings.h"
#include "serial/NotifyQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelbor::test {

// A name that must not open, with the fixed text of the failure and a part of its detail.
struct BadPort {
    std::string name;
    std::string text;
    std::string detail; // empty: not checked
};

} // namespace zelbor::test

#ifdef _WIN32
#include "../win32/WineFarEnd.h"
#else
#include "PtyFarEnd.h"
#endif

namespace zelbor::test {

#ifdef _WIN32
using FarEnd = WineFarEnd;
#else
using FarEnd = PtyFarEnd;
#endif

struct OpenFailure {
    std::string text; // "(opened)" when it opened
    std::string detail;
};

inline OpenFailure OpenError(TComm& c)
{
    try {
        c.OpenPort();
    } catch (const ECommsError& e) {
        return {e.what(), e.Detail()};
    }
    return {"(opened)", {}};
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(farEnd.Ready()) << farEnd.Why();
        ApplyCommPortSettings(comm);
        comm.SetCommName(farEnd.Name());
        rec.Attach(comm);
    }
    void TearDown() override
    {
        comm.ClosePort();
        farEnd.Release();
    }
    void OpenOrFail()
    {
        try {
            comm.OpenPort();
        } catch (const ECommsError& e) {
            FAIL() << e.what() << " / " << e.Detail();
        }
    }
    bool PumpUntilBytes(std::size_t n, std::chrono::milliseconds limit = 10000ms)
    {
        return queue.PumpUntil(
            comm, [&] { return rec.Bytes() >= n; }, limit);
    }

    FarEnd farEnd;
    NotifyQueue queue;
    TComm comm{queue};
    Recorder rec;
};

} // namespace zelbor::test
