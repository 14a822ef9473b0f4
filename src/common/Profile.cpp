#include "common/Profile.h"

#include "common/Ini.h"

#include <string>

namespace zelbor {

namespace {

constexpr const char* kBasic = "Basic";
constexpr const char* kPedalAssist = "Pedal Assist";
constexpr const char* kThrottle = "Throttle Handle";

// Visits the stored numbers in file order: f(section, key, field, default when reading).
// The Pedal Assist keys do not follow the block's data order; the file order is fixed.
template <class V, class F>
void ForEachKey(V& v, F&& f)
{
    static const char* const alc[10] = {"ALC0", "ALC1", "ALC2", "ALC3", "ALC4",
                                        "ALC5", "ALC6", "ALC7", "ALC8", "ALC9"};
    static const char* const albp[10] = {"ALBP0", "ALBP1", "ALBP2", "ALBP3", "ALBP4",
                                         "ALBP5", "ALBP6", "ALBP7", "ALBP8", "ALBP9"};
    auto& b = v.basic;
    f(kBasic, "LBP", b.cbbBasLowBat, 10);
    f(kBasic, "LC", b.speBasCurrLim, 10);
    for (int i = 0; i < 10; ++i)
        f(kBasic, alc[i], b.speBasAssistCurrLim[static_cast<std::size_t>(i)], 10);
    for (int i = 0; i < 10; ++i)
        f(kBasic, albp[i], b.speBasAssistSpdLim[static_cast<std::size_t>(i)], 10);
    f(kBasic, "WD", b.cbbBasWheelDiam, 10);
    f(kBasic, "SMM", b.cbbBasSpdMtrType, 0);
    f(kBasic, "SMS", b.speBasSpdMtrSig, 10);

    auto& p = v.pedalAssist;
    f(kPedalAssist, "PT", p.cbbPASPedalSensType, 0);
    f(kPedalAssist, "DA", p.cbbPASDesigAssist, 0);
    f(kPedalAssist, "SL", p.cbbPASSpdLim, 0);
    f(kPedalAssist, "SSM", p.cbbPASSlowStartMode, 0);
    f(kPedalAssist, "WM", p.cbbPASWorkMode, 0);
    f(kPedalAssist, "SC", p.spePASStartCurr, 10);
    f(kPedalAssist, "SDN", p.spePASStartDeg, 10);
    f(kPedalAssist, "TS", p.spePASStopDelay, 10);
    f(kPedalAssist, "CD", p.spePASCurrDecay, 10);
    f(kPedalAssist, "SD", p.spePASStopDecay, 10);
    f(kPedalAssist, "KC", p.spePASKeepCurr, 10);

    auto& t = v.throttle;
    f(kThrottle, "SV", t.speThrStartVolt, 10);
    f(kThrottle, "EV", t.speThrEndVolt, 10);
    f(kThrottle, "MODE", t.cbbThrMode, 0);
    f(kThrottle, "DA", t.cbbThrAssistLvl, 0);
    f(kThrottle, "SL", t.edThrSpeedLim, 0);
    f(kThrottle, "SC", t.speThrStartCurr, 10);
}

ProfileValues FromIni(const IniFile& ini)
{
    ProfileValues v;
    ForEachKey(v, [&](const char* section, const char* key, int& field, int def) {
        field = ini.ReadProfileInt(section, key, def);
    });
    return v;
}

} // namespace

ProfileValues DefaultProfileValues()
{
    ProfileValues v;
    ForEachKey(v, [](const char*, const char*, int& field, int def) { field = def; });
    return v;
}

ProfileValues ReadProfile(const std::filesystem::path& path) { return FromIni(IniFile::Load(path)); }

ProfileValues ParseProfile(std::string_view text) { return FromIni(IniFile::Parse(text)); }

void WriteProfile(const std::filesystem::path& path, const ProfileValues& values)
{
    IniEditor editor = IniEditor::Load(path);
    ForEachKey(values, [&](const char* section, const char* key, const int& field, int) {
        editor.Set(section, key, std::to_string(field));
    });
    editor.Save(path);
}

} // namespace zelbor
