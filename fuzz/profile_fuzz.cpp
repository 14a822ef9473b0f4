// SPDX-License-Identifier: GPL-3.0-or-later
// The profile reader on arbitrary *.el contents, and the writer over them, on the files' text (the
// file reader and writer parse and edit what they read by the same functions).
//
// Checks besides memory safety:
//  - saving a profile over any existing file, then loading it, gives back exactly the values saved:
//    whatever the old file held (foreign lines, repeated sections or keys, odd line ends), no
//    setting is lost or taken from a stale line;
//  - saving the same values again changes nothing.
#include "profile/Profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace zelbor;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "profile fuzz: %s\n", what);
        std::abort();
    }
}

// Values other than the ones the file holds, so that every key has to be rewritten.
ProfileValues Changed(ProfileValues v, std::uint8_t salt)
{
    int n = salt;
    auto next = [&](int& field) {
        field = field == n ? n + 1 : n;
        n = (n * 31 + 7) % 1000 - 500;
    };
    auto& b = v.basic;
    next(b.cbbBasLowBat);
    next(b.speBasCurrLim);
    for (auto& f : b.speBasAssistCurrLim)
        next(f);
    for (auto& f : b.speBasAssistSpdLim)
        next(f);
    next(b.cbbBasWheelDiam);
    next(b.cbbBasSpdMtrType);
    next(b.speBasSpdMtrSig);
    auto& p = v.pedalAssist;
    for (int* f : {&p.cbbPASPedalSensType, &p.cbbPASDesigAssist, &p.cbbPASSpdLim, &p.spePASStartCurr,
                   &p.cbbPASSlowStartMode, &p.spePASStartDeg, &p.cbbPASWorkMode, &p.spePASStopDelay, &p.spePASCurrDecay,
                   &p.spePASStopDecay, &p.spePASKeepCurr})
        next(*f);
    auto& t = v.throttle;
    for (int* f : {&t.speThrStartVolt, &t.speThrEndVolt, &t.cbbThrMode, &t.cbbThrAssistLvl, &t.edThrSpeedLim,
                   &t.speThrStartCurr})
        next(*f);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ProfileValues saved = Changed(ParseProfile(text), size > 0 ? data[0] : 0);
    const std::string stored = ProfileText(text, saved);
    Require(ParseProfile(stored) == saved, "a saved profile does not load back as saved");
    Require(ProfileText(stored, saved) == stored, "saving the same values again changes the file");
    return 0;
}
