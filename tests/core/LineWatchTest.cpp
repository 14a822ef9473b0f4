// SPDX-License-Identifier: GPL-3.0-or-later
// The reading of the line while a reply is awaited: silent, a loop, foreign bytes, a short reply.
#include "protocol/Communication.h"
#include "protocol/LineWatch.h"

#include <gtest/gtest.h>

namespace zelbor {
namespace {

using Clock = LineWatch::Clock;
using namespace std::chrono_literals;

std::vector<std::uint8_t> Filled(std::uint8_t first, std::size_t n)
{
    std::vector<std::uint8_t> v(n, 0x20);
    if (n)
        v[0] = first;
    return v;
}

TEST(LineWatch, TellsWhatCameBackWhileTheIdentificationIsRepeated)
{
    const Clock::time_point t0{};
    const Bytes request = IdentifyRequest();
    LineWatch w;
    EXPECT_FALSE(w.Waiting());
    w.Sent(request, t0);
    EXPECT_EQ(w.Finding(), LineFinding::Silent);
    // The retries every half second are one wait, not a new one each.
    w.Sent(request, t0 + 500ms);
    w.Sent(request, t0 + 3500ms);
    EXPECT_EQ(w.SecondsWaited(t0 + 4200ms), 4);
    EXPECT_EQ(w.Awaited(), std::optional<std::uint8_t>(bcIdentify));

    w.Received(request); // the adapter loops the request back
    EXPECT_EQ(w.Finding(), LineFinding::Echo);
    w.Received(std::vector<std::uint8_t>(request.begin(), request.begin() + 2)); // part of it, cut by a gap
    EXPECT_EQ(w.Finding(), LineFinding::Echo);
    w.Received(std::vector<std::uint8_t>{0x00, 0xF8, 0x80}); // something else too: no clean loop
    EXPECT_EQ(w.Finding(), LineFinding::Garbage);
    w.Received(request);
    EXPECT_EQ(w.Finding(), LineFinding::Garbage);

    w.Received(Filled(bcIdentify, kInfoReplyMinLength - 1));
    EXPECT_EQ(w.Finding(), LineFinding::Short);
    w.Received(Filled(bcIdentify, kInfoReplyMinLength));
    EXPECT_FALSE(w.Waiting());
    EXPECT_EQ(w.Finding(), LineFinding::Answered);
    EXPECT_EQ(w.SecondsWaited(t0 + 10s), 0);

    // The next request starts a new wait from nothing.
    w.Sent(ReadRequest(bcBasic), t0 + 20s);
    EXPECT_EQ(w.Finding(), LineFinding::Silent);
    EXPECT_TRUE(w.ReceivedBytes().empty());
    EXPECT_EQ(w.SecondsWaited(t0 + 22s), 2);
    w.Received(Filled(bcPedalAssist, 40)); // a reply, but not to this request
    EXPECT_EQ(w.Finding(), LineFinding::Garbage);
    w.Stop();
    EXPECT_FALSE(w.Waiting());
}

TEST(LineWatch, AwaitsTheReplyEachRequestCallsFor)
{
    EXPECT_EQ(ReplyTo(ReadRequest(bcThrottle))->minLength, kThrottleReplyMinLength);
    EXPECT_EQ(ReplyTo(ReadRequest(bcBasic))->code, bcBasic);
    const std::uint8_t write[] = {kCmdWrite, bcPedalAssist, 1, 2};
    EXPECT_EQ(ReplyTo(write)->minLength, kWriteAckMinLength);
    EXPECT_FALSE(ReplyTo(std::vector<std::uint8_t>{kCmdRead}));
    EXPECT_FALSE(ReplyTo(std::vector<std::uint8_t>{0x42, bcBasic}));
    LineWatch w; // a frame that awaits nothing starts no wait
    w.Sent(std::vector<std::uint8_t>{0x42, 0x00}, Clock::time_point{});
    EXPECT_FALSE(w.Waiting());
    w.Received(std::vector<std::uint8_t>{1});
    EXPECT_EQ(w.Finding(), LineFinding::Answered);

    EXPECT_EQ(HexBytes(std::vector<std::uint8_t>{0x11, 0x51, 0x0A}), "11 51 0A");
    EXPECT_EQ(HexBytes(std::vector<std::uint8_t>{1, 2, 3}, 2), "01 02 \xE2\x80\xA6");
    EXPECT_EQ(HexBytes({}), "");
}

} // namespace
} // namespace zelbor
