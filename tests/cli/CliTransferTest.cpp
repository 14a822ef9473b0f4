// SPDX-License-Identifier: GPL-3.0-or-later
// read, write and diff against the virtual controller: what lands in the file, what reaches the
// controller and in which order, and how each way a transfer can fail ends.
#include "CliTestSupport.h"

#include "profile/Profile.h"

#include <set>

namespace zelbor::test {
namespace {

class CliTransfer : public CliTest {};

const ParameterField& Field(const char* control)
{
    const ParameterField* f = FindParameter(control);
    EXPECT_NE(f, nullptr) << control;
    return *f;
}

// Every field's value, for a readable comparison.
std::string Values(const ParameterValues& v)
{
    std::string out;
    for (const ParameterField& f : ParameterTable())
        out += f.control + "=" + std::to_string(f.Value(v)) + " ";
    return out;
}

TEST_F(CliTransfer, ReadWritesTheControllersValuesAndReplacesAFileOnlyWithForce)
{
    LoggedController vc({"--max-current", "17"});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path file = dir / "bike.el";
    const CliRun r = RunCli({"read", "--port", vc.Port(), "--out", file.string()});
    ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{file.string()});
    // The three blocks were read in the window's order, after the identification.
    EXPECT_EQ(vc.Heads("11 5"), (std::vector<std::string>{"11 51", "11 52", "11 53", "11 54"})) << vc.Log();
    EXPECT_TRUE(vc.Received("16").empty()) << vc.Log();

    // The file holds what the controller answered (its current limit: the lower of 20 and 17 A).
    const ParameterValues answered = vc.AnsweredValues();
    const ParameterValues inFile = ReadProfile(file);
    EXPECT_EQ(Values(inFile), Values(answered));
    EXPECT_EQ(inFile.basic.speBasCurrLim, 17);
    const std::string text = ReadFile(file);
    for (const char* section : {"[Basic]", "[Pedal Assist]", "[Throttle Handle]"})
        EXPECT_NE(text.find(section), std::string::npos) << section;

    // An existing file stays as it is without --force, whatever the controller holds.
    const std::string mine = "[Basic]\nLC=5\n";
    WriteFile(file, mine);
    const CliRun again = RunCli({"--json", "read", "--port", vc.Port(), "--out", file.string()});
    EXPECT_EQ(again.status, 7) << again.Describe();
    EXPECT_NE(again.err.find(file.string()), std::string::npos) << again.err;
    EXPECT_EQ(ParseJson(again)["error"]["status"], 7);
    EXPECT_EQ(ReadFile(file), mine);

    // With --force it holds the controller's values.
    const CliRun forced = RunCli({"--json", "read", "--port", vc.Port(), "--out", file.string(), "--force"});
    ASSERT_EQ(forced.status, 0) << forced.Describe();
    const auto j = ParseJson(forced);
    EXPECT_EQ(j["file"], file.string()) << forced.out;
    EXPECT_EQ(j["identification"]["maximumCurrent"], "17A");
    EXPECT_EQ(Values(ReadProfile(file)), Values(answered));

    // A file that cannot be written: 7, and nothing left behind.
    const fs::path nowhere = dir / "no-such-folder" / "bike.el";
    const CliRun cannot = RunCli({"read", "--port", vc.Port(), "--out", nowhere.string()});
    EXPECT_EQ(cannot.status, 7) << cannot.Describe();
    EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST_F(CliTransfer, WriteSendsTheEditedProfileInTheWindowsOrderAndVerifiesIt)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const ParameterValues before = ReadProfile(base);
    const auto readReplies = vc.Sent(); // the block replies the read got, as the controller sent them

    // Two edits: the current limit (Basic) and a list, the slow-start mode (Pedal Assist).
    const ParameterField& lc = Field("speBasCurrLim");
    const ParameterField& ssm = Field("cbbPASSlowStartMode");
    const int newLc = before.basic.speBasCurrLim == 15 ? 16 : 15;
    const int newSsm = before.pedalAssist.cbbPASSlowStartMode == 6 ? 5 : 6;
    std::string text = ReadFile(base);
    text = SetKey(text, "Basic", "LC", std::to_string(newLc));
    text = SetKey(text, "Pedal Assist", "SSM", std::to_string(newSsm));
    const fs::path edited = dir / "edited.el";
    WriteFile(edited, text);

    const std::size_t framesBefore = vc.Received().size();
    const CliRun r = RunCli({"write", "--port", vc.Port(), edited.string()});
    ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
    EXPECT_EQ(Lines(r.out).size(), 3u) << r.out; // one line a block
    const std::vector<std::string> all = vc.Received();
    const std::vector<std::string> frames(all.begin() + static_cast<long>(framesBefore), all.end());
    std::vector<std::string> writes;
    for (const auto& f : frames)
        if (f.rfind("16 ", 0) == 0)
            writes.push_back(f);
    ASSERT_EQ(writes.size(), 3u) << vc.Log();
    EXPECT_EQ(writes[0].substr(0, 5), "16 52");
    EXPECT_EQ(writes[1].substr(0, 5), "16 53");
    EXPECT_EQ(writes[2].substr(0, 5), "16 54");

    // Each write carries the data bytes the controller had answered, but for the edited ones.
    auto dataOf = [](const std::string& frame, std::size_t headerBytes) {
        Bytes b = LoggedController::ParseHex(frame);
        return Bytes(b.begin() + static_cast<long>(headerBytes), b.end() - 1);
    };
    std::map<std::uint8_t, Bytes> answered;
    for (const auto& reply : readReplies) {
        const Bytes b = LoggedController::ParseHex(reply);
        if (!b.empty() && FindBlock(b[0]) && b.size() == FindBlock(b[0])->dataBytes + 3)
            answered[b[0]] = dataOf(reply, 2);
    }
    ASSERT_EQ(answered.size(), 3u) << vc.Log();
    Bytes basic = answered[bcBasic], pas = answered[bcPedalAssist];
    basic[lc.dataByte] = static_cast<std::uint8_t>(newLc);
    pas[ssm.dataByte] = static_cast<std::uint8_t>(ssm.ItemBits(newSsm) << ssm.shift);
    EXPECT_EQ(dataOf(writes[0], 3), basic) << writes[0];
    EXPECT_EQ(dataOf(writes[1], 3), pas) << writes[1];
    EXPECT_EQ(dataOf(writes[2], 3), answered[bcThrottle]) << writes[2];
    // After the writes, the blocks were read back.
    const auto lastWrite = std::find(frames.begin(), frames.end(), writes[2]);
    std::vector<std::string> afterWrites;
    for (auto it = lastWrite; it != frames.end(); ++it)
        if (it->rfind("11 5", 0) == 0)
            afterWrites.push_back(it->substr(0, 5));
    EXPECT_EQ(std::set<std::string>(afterWrites.begin(), afterWrites.end()),
              (std::set<std::string>{"11 52", "11 53", "11 54"}))
        << vc.Log();

    // The controller now holds the edits.
    const fs::path after = dir / "after.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, after));
    const ParameterValues now = ReadProfile(after);
    EXPECT_EQ(now.basic.speBasCurrLim, newLc);
    EXPECT_EQ(now.pedalAssist.cbbPASSlowStartMode, newSsm);
    EXPECT_EQ(Values(now), Values(ReadProfile(edited)));
}

TEST_F(CliTransfer, WriteOfOneBlockSendsThatBlockOnly)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const ParameterValues before = ReadProfile(base);
    std::string text = ReadFile(base);
    text = SetKey(text, "Basic", "LC", std::to_string(before.basic.speBasCurrLim == 12 ? 13 : 12));
    text = SetKey(text, "Pedal Assist", "KC", std::to_string(before.pedalAssist.spePASKeepCurr == 33 ? 34 : 33));
    const fs::path edited = dir / "edited.el";
    WriteFile(edited, text);

    const CliRun r = RunCli({"--json", "write", "--port", vc.Port(), edited.string(), "--block", "pedal-assist"});
    ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
    EXPECT_EQ(vc.Heads("16"), std::vector<std::string>{"16 53"}) << vc.Log();
    const auto j = ParseJson(r);
    EXPECT_EQ(j["blocks"], nlohmann::json::array({"pedal-assist"})) << r.out;
    EXPECT_TRUE(j["mismatches"].empty()) << r.out;

    const fs::path after = dir / "after.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, after));
    const ParameterValues now = ReadProfile(after);
    EXPECT_EQ(now.pedalAssist.spePASKeepCurr, ReadProfile(edited).pedalAssist.spePASKeepCurr);
    EXPECT_EQ(now.basic.speBasCurrLim, before.basic.speBasCurrLim); // not written
}

TEST_F(CliTransfer, ARefusedFieldGivesFiveWithTheCataloguesTextAndStopsTheWrite)
{
    LoggedController vc({"--refuse", "R:1"});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path profile = dir / "bike.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, profile));

    for (const std::string& language : {std::string("eng"), std::string("deu")}) {
        SCOPED_TRACE(language);
        const std::size_t framesBefore = vc.Received().size();
        const CliRun r = RunCli({"--json", "--language", language, "write", "--port", vc.Port(), profile.string()});
        EXPECT_EQ(r.status, 5) << r.Describe();
        const std::string message = CatalogueText(language, "err9");
        ASSERT_FALSE(message.empty());
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err << "\nexpected: " << message;
        const auto j = ParseJson(r);
        EXPECT_EQ(j["error"]["status"], 5) << r.out;
        const auto& refused = j["refused"];
        EXPECT_EQ(refused["block"], "basic") << r.out;
        EXPECT_EQ(refused["key"], "LC");
        EXPECT_EQ(refused["control"], "speBasCurrLim");
        EXPECT_EQ(refused["message"], message);
        // Basic was sent and refused; nothing after it.
        const std::vector<std::string> all = vc.Received();
        std::vector<std::string> writes;
        for (auto it = all.begin() + static_cast<long>(framesBefore); it != all.end(); ++it)
            if (it->rfind("16 ", 0) == 0)
                writes.push_back(it->substr(0, 5));
        EXPECT_EQ(writes, std::vector<std::string>{"16 52"}) << vc.Log();
    }
}

TEST_F(CliTransfer, TheCurrentLimitIsBoundByTheControllersMaximumCurrent)
{
    // The upper bound is the controller's, known only after the identification: a 30 A
    // controller takes 30 A and is read back as holding 30 A (a backup of it restores 30 A, not
    // the 25 A of the window's design), a 15 A controller is sent no write of 20 A at all.
    LoggedController big({"--max-current", "30"});
    ASSERT_FALSE(big.Port().empty());
    const fs::path profile = dir / "bike.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(big, profile));
    WriteFile(profile, SetKey(ReadFile(profile), "Basic", "LC", "30"));
    const CliRun ok = RunCli({"write", "--port", big.Port(), profile.string()});
    EXPECT_EQ(ok.status, 0) << ok.Describe() << big.Log();
    const auto basicWrites = big.Received("16 52");
    ASSERT_EQ(basicWrites.size(), 1u) << big.Log();
    EXPECT_EQ(LoggedController::ParseHex(basicWrites[0]).at(3 + Field("speBasCurrLim").dataByte), 30);
    const fs::path backup = dir / "backup.el";
    const CliRun read = RunCli({"read", "--port", big.Port(), "--out", backup.string()});
    ASSERT_EQ(read.status, 0) << read.Describe();
    EXPECT_TRUE(read.err.empty()) << read.err; // nothing the profile could not keep
    EXPECT_EQ(ReadProfile(backup).basic.speBasCurrLim, 30);

    WriteFile(profile, SetKey(ReadFile(profile), "Basic", "LC", "20"));

    LoggedController small({"--max-current", "15"});
    ASSERT_FALSE(small.Port().empty());
    const CliRun r = RunCli({"write", "--port", small.Port(), profile.string()});
    EXPECT_EQ(r.status, 7) << r.Describe();
    EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
    const std::string named = ":" + std::to_string(LineOf(ReadFile(profile), "Basic", "LC")) + ": [Basic] LC=20:";
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_TRUE(small.Received("16").empty()) << small.Log();
}

TEST_F(CliTransfer, ReadNamesEachFieldTheProfileKeepsOtherThanTheControllerHoldsIt)
{
    // A controller that stores one more than it is sent, for a number at its maximum and for a
    // list item before a gap, then holds a number beyond the field's range and a byte without an
    // item: the backup keeps the maximum and no selection, as the window would, and says so for
    // both fields and for nothing else.
    const ParameterField& cd = Field("spePASCurrDecay");
    const ParameterField& sl = Field("cbbPASSpdLim");
    LoggedController vc(
        {"--store-differs", "S:" + std::to_string(cd.dataByte), "--store-differs", "S:" + std::to_string(sl.dataByte)});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    std::string text = SetKey(ReadFile(base), "Pedal Assist", "CD", std::to_string(cd.maximum));
    WriteFile(base, SetKey(text, "Pedal Assist", "SL", std::to_string(ItemBeforeAGap(sl))));
    const CliRun write = RunCli({"write", "--port", vc.Port(), "--block", "pedal-assist", base.string()});
    ASSERT_EQ(write.status, 6) << write.Describe();

    const fs::path held = dir / "held.el";
    const CliRun r = RunCli({"--json", "read", "--port", vc.Port(), "--out", held.string()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    const auto j = ParseJson(r);
    std::map<std::string, std::string> warnings;
    for (const auto& w : j["warnings"])
        warnings[w["key"].get<std::string>()] = w["warning"].get<std::string>();
    ASSERT_EQ(warnings.size(), 2u) << r.out;
    EXPECT_EQ(warnings["CD"], "the controller holds " + std::to_string(cd.maximum + 1) + ", outside " +
                                  std::to_string(cd.minimum) + ".." + std::to_string(cd.maximum) +
                                  "; the profile keeps " + std::to_string(cd.maximum));
    const unsigned byte = (sl.ItemBits(ItemBeforeAGap(sl)) + 1) & sl.Mask();
    EXPECT_EQ(warnings["SL"].rfind(
                  "the controller's byte " + std::to_string(byte) + " is no item of the list; the profile keeps -1", 0),
              0u)
        << r.out;
    EXPECT_EQ(Lines(r.err).size(), 2u) << r.err;
    const ParameterValues inFile = ReadProfile(held);
    EXPECT_EQ(inFile.pedalAssist.spePASCurrDecay, cd.maximum);
    EXPECT_EQ(inFile.pedalAssist.cbbPASSpdLim, -1);
}

TEST_F(CliTransfer, AControllerStoringOtherThanItAcknowledgedGivesSixNamingTheField)
{
    LoggedController vc({"--store-differs", "R:1"});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path profile = dir / "bike.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, profile));
    const int lc = ReadProfile(profile).basic.speBasCurrLim;

    const CliRun r = RunCli({"--json", "write", "--port", vc.Port(), profile.string()});
    EXPECT_EQ(r.status, 6) << r.Describe() << vc.Log();
    EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
    const auto j = ParseJson(r);
    EXPECT_EQ(j["error"]["status"], 6) << r.out;
    ASSERT_EQ(j["mismatches"].size(), 1u) << r.out;
    const auto& m = j["mismatches"][0];
    EXPECT_EQ(m["block"], "basic");
    EXPECT_EQ(m["key"], "LC");
    EXPECT_EQ(m["control"], "speBasCurrLim");
    EXPECT_EQ(m["field"], "Current Limit [A]");
    EXPECT_EQ(m["written"], std::to_string(lc));
    EXPECT_EQ(m["readBack"], std::to_string(lc + 1));

    // In text, the field is named with both values.
    const CliRun t = RunCli({"write", "--port", vc.Port(), profile.string()});
    EXPECT_EQ(t.status, 6) << t.Describe();
    const std::string both = t.out + t.err;
    const auto named = both.find("Current Limit [A]");
    ASSERT_NE(named, std::string::npos) << t.Describe();
    const std::string line = both.substr(named, both.find('\n', named) - named);
    EXPECT_NE(line.find(std::to_string(lc)), std::string::npos) << line;
    EXPECT_NE(line.find(std::to_string(lc + 1)), std::string::npos) << line;
}

TEST_F(CliTransfer, AControllerUnpluggedDuringTheWriteEndsTheRunWithAFailure)
{
    LoggedController reader({});
    ASSERT_FALSE(reader.Port().empty());
    const fs::path profile = dir / "bike.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(reader, profile));

    // It hangs up half way through its answer to the second write (Pedal Assist).
    LoggedController vc({"--hangup-after", "2", "--fault-scope", "write"});
    ASSERT_FALSE(vc.Port().empty());
    CliOptions guard;
    guard.guard = 20s;
    const CliRun r = RunCli({"--timeout", "1500", "write", "--port", vc.Port(), profile.string()}, guard);
    ASSERT_TRUE(r.exited) << r.Describe(); // no crash, no hang
    EXPECT_TRUE(r.status == 8 || r.status == 4) << r.Describe() << vc.Log();
    EXPECT_EQ(r.err.rfind("zelbor-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(vc.Heads("16"), (std::vector<std::string>{"16 52", "16 53"})) << vc.Log();
}

// The read replies (not the acknowledgements) a controller has sent so far.
std::size_t ReadReplies(const LoggedController& vc)
{
    std::size_t n = 0;
    for (const auto& reply : vc.Sent()) {
        const Bytes b = LoggedController::ParseHex(reply);
        if (!b.empty() && FindBlock(b[0]) && b.size() == FindBlock(b[0])->dataBytes + 3)
            ++n;
    }
    return n;
}

TEST_F(CliTransfer, CtrlCEndsAReadWithoutAFileAndAWritePromptly)
{
    // Each run is interrupted once its first block read has reached a controller that waits 3 s
    // before it answers reads: the command line must end without waiting for that answer.
    struct Case {
        const char* name;
        int signal;
        bool write;
    };
    LoggedController quick({});
    ASSERT_FALSE(quick.Port().empty());
    const fs::path profile = dir / "profile.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(quick, profile));
    const std::string profileText = ReadFile(profile);

    for (const Case& c : {Case{"read, SIGINT", SIGINT, false}, Case{"read, SIGTERM", SIGTERM, false},
                          Case{"write, SIGINT", SIGINT, true}}) {
        SCOPED_TRACE(c.name);
        LoggedController vc({"--read-delay", "3000"});
        ASSERT_FALSE(vc.Port().empty());
        CliOptions interrupt;
        interrupt.interruptSignal = c.signal;
        interrupt.interruptWhen = [&] { return !vc.Heads("11 52").empty(); };
        const fs::path out = dir / "out.el";
        std::vector<std::string> args = {"--timeout", "10000"};
        if (c.write) // past the as-found read, so that the read-back is what is interrupted
            args.insert(args.end(), {"write", "--no-snapshot", "--port", vc.Port(), profile.string()});
        else
            args.insert(args.end(), {"read", "--port", vc.Port(), "--out", out.string()});
        const CliRun r = RunCli(args, interrupt);
        const std::size_t answeredReads = ReadReplies(vc);
        ASSERT_TRUE(r.interrupted) << r.Describe() << vc.Log();
        EXPECT_EQ(r.status, 130) << r.Describe();
        EXPECT_EQ(answeredReads, 0u) << "it waited for the answer\n" << vc.Log();
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(ReadFile(profile), profileText);
        // Nothing else left behind either (no temporary file of an atomic write).
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(dir))
            left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"profile.el"});
        if (c.write) { // the writes went before the read-back that was interrupted
            EXPECT_EQ(vc.Heads("16"), (std::vector<std::string>{"16 52", "16 53", "16 54"})) << vc.Log();
        }
    }
}

TEST_F(CliTransfer, DiffNamesEachChangedFieldWithBothValues)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const ParameterValues held = ReadProfile(base);

    const CliRun same = RunCli({"diff", "--port", vc.Port(), base.string()});
    EXPECT_EQ(same.status, 0) << same.Describe();
    EXPECT_EQ(same.out.find("controller"), std::string::npos) << same.out;

    // One number changed.
    const int lc = held.basic.speBasCurrLim, newLc = lc == 18 ? 17 : 18;
    const fs::path one = dir / "one.el";
    WriteFile(one, SetKey(ReadFile(base), "Basic", "LC", std::to_string(newLc)));
    const CliRun r = RunCli({"diff", "--port", vc.Port(), one.string()});
    EXPECT_EQ(r.status, 1) << r.Describe();
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    // "Label: controller X, profile Y", the label possibly led by its section.
    const std::string expected =
        "Current Limit [A]: controller " + std::to_string(lc) + ", profile " + std::to_string(newLc);
    EXPECT_TRUE(lines[0] == expected || lines[0] == "[Basic] " + expected) << lines[0];
    EXPECT_TRUE(vc.Received("16").empty()) << vc.Log(); // a diff writes nothing

    // A list changed: its items' texts, as the window shows them.
    const ParameterField& sl = Field("cbbPASSpdLim");
    const int index = held.pedalAssist.cbbPASSpdLim, newIndex = index + 1 < sl.ItemCount() ? index + 1 : index - 1;
    const fs::path list = dir / "list.el";
    WriteFile(list, SetKey(ReadFile(base), "Pedal Assist", "SL", std::to_string(newIndex)));
    const CliRun j = RunCli({"--json", "diff", "--port", vc.Port(), list.string()});
    EXPECT_EQ(j.status, 1) << j.Describe();
    const auto json = ParseJson(j);
    ASSERT_EQ(json["differences"].size(), 1u) << j.out;
    const auto& d = json["differences"][0];
    EXPECT_EQ(d["block"], "pedal-assist");
    EXPECT_EQ(d["key"], "SL");
    EXPECT_EQ(d["control"], "cbbPASSpdLim");
    EXPECT_EQ(d["controller"], sl.items->at(static_cast<std::size_t>(index)));
    EXPECT_EQ(d["profile"], sl.items->at(static_cast<std::size_t>(newIndex)));
    EXPECT_EQ(json["identification"]["manufacturer"], "ZLBR");
}

TEST_F(CliTransfer, DiffComparesTwoFieldsOfOneByteEachByItsOwnBits)
{
    // The speed-meter byte: the type in its top two bits, the signal count below. A profile that
    // differs in one of them differs in that one only.
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const ParameterValues held = ReadProfile(base);
    const char* const types[] = {"External, Wheel Meter", "Internal, Motor Meter", "By Motor Phase"};
    const int type = held.basic.cbbBasSpdMtrType, signals = held.basic.speBasSpdMtrSig;
    ASSERT_TRUE(type >= 0 && type <= 2) << type;
    const int otherType = type == 1 ? 2 : 1, otherSignals = signals == 36 ? 35 : signals + 1;

    struct Case {
        const char* key;
        std::string value;
        const char* control;
        std::string controller, profile;
    };
    const Case cases[] = {
        {"SMM", std::to_string(otherType), "cbbBasSpdMtrType", types[type], types[otherType]},
        {"SMS", std::to_string(otherSignals), "speBasSpdMtrSig", std::to_string(signals), std::to_string(otherSignals)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const fs::path edited = dir / "edited.el";
        WriteFile(edited, SetKey(ReadFile(base), "Basic", c.key, c.value));
        const CliRun r = RunCli({"--json", "diff", "--port", vc.Port(), edited.string()});
        EXPECT_EQ(r.status, 1) << r.Describe();
        const auto j = ParseJson(r);
        ASSERT_EQ(j["differences"].size(), 1u) << r.out;
        const auto& d = j["differences"][0];
        EXPECT_EQ(d["control"], c.control) << r.out;
        EXPECT_EQ(d["controller"], c.controller) << r.out;
        EXPECT_EQ(d["profile"], c.profile) << r.out;
    }
}

TEST_F(CliTransfer, ReadWithForceReplacesTheWholeFileSoThatTheBackupReadsBack)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path fresh = dir / "fresh.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, fresh));

    // An older file of the user's: a note, a section of its own, a key and a section given twice.
    // Merged into, it would keep them, and diff and write would refuse the new backup.
    const fs::path file = dir / "bike.el";
    WriteFile(file, "; customer 17\n[Basic]\nLC=5\nLC=6\n[Notes]\nseat=low\n[Basic]\nWD=3\n[Pedal Assist]\nSL=2\n");
    const CliRun r = RunCli({"read", "--port", vc.Port(), "--out", file.string(), "--force"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_EQ(ReadFile(file), ReadFile(fresh)) << "something of the old file is left";

    const CliRun diff = RunCli({"diff", "--port", vc.Port(), file.string()});
    EXPECT_EQ(diff.status, 0) << diff.Describe();
    const CliRun write = RunCli({"write", "--port", vc.Port(), file.string()});
    EXPECT_EQ(write.status, 0) << write.Describe();
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bike.el", "fresh.el"})) << "a temporary file was left behind";
}

TEST_F(CliTransfer, ReadIntoAPlaceThatCannotTakeTheFileFailsBeforeConnecting)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    WriteFile(dir / "plain.txt", "not a folder");
    fs::create_directories(dir / "folder.el");
    struct Case {
        const char* name;
        fs::path out;
        bool force;
    };
    const Case cases[] = {
        {"a folder that does not exist", dir / "no-such-folder" / "bike.el", false},
        {"the same, with --force", dir / "no-such-folder" / "bike.el", true},
        {"a file where the folder should be", dir / "plain.txt" / "bike.el", true},
        {"a folder where the file should be", dir / "folder.el", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"read", "--port", vc.Port(), "--out", c.out.string()};
        if (c.force)
            args.push_back("--force");
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 7) << r.Describe();
        EXPECT_NE(r.err.find(c.out.string()), std::string::npos) << r.err;
        EXPECT_TRUE(vc.Received().empty()) << "it connected before it checked the output:\n" << vc.Log();
    }
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
    EXPECT_EQ(ReadFile(dir / "plain.txt"), "not a folder");
    EXPECT_TRUE(fs::is_empty(dir / "folder.el"));
}

TEST_F(CliTransfer, AWriteThatStopsPartWaySaysWhichBlocksTheControllerAcknowledged)
{
    LoggedController source({});
    ASSERT_FALSE(source.Port().empty());
    const fs::path profile = dir / "bike.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(source, profile));
    const nlohmann::json all = {"basic", "pedal-assist", "throttle"};

    struct Case {
        const char* name;
        std::vector<std::string> controller;
        bool interrupt;
        std::vector<int> statuses;
        nlohmann::json unacknowledged;
    };
    const Case cases[] = {
        // Pedal Assist refused: Basic is the controller's, nothing after it was sent.
        {"a refused field", {"--refuse", "S:1"}, false, {5}, nlohmann::json::array()},
        // The line lost half way through Pedal Assist's acknowledgement: sent, never confirmed.
        {"a lost line", {"--hangup-after", "2", "--fault-scope", "write"}, false, {8, 4}, {"pedal-assist"}},
        // Ctrl+C while Pedal Assist's acknowledgement is under way (its second half held back).
        {"Ctrl+C", {"--split", "5000", "--fault-scope", "write", "--fault-frame", "2"}, true, {130}, {"pedal-assist"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedController vc(c.controller);
        ASSERT_FALSE(vc.Port().empty());
        CliOptions options;
        options.guard = 20s;
        if (c.interrupt)
            options.interruptWhen = [&] { return !vc.Heads("16 53").empty(); };
        const CliRun r =
            RunCli({"--json", "--timeout", "1500", "write", "--port", vc.Port(), profile.string()}, options);
        ASSERT_TRUE(r.exited) << r.Describe();
        EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), r.status), c.statuses.end()) << r.Describe();
        EXPECT_EQ(vc.Heads("16"), (std::vector<std::string>{"16 52", "16 53"})) << vc.Log();
        const auto j = ParseJson(r);
        EXPECT_EQ(j["blocks"], all) << r.out;
        EXPECT_EQ(j["written"], nlohmann::json::array({"basic"})) << r.out;
        EXPECT_EQ(j["unacknowledged"], c.unacknowledged) << r.out;
    }

    // Without --json and without a terminal, standard output says it block by block.
    LoggedController vc({"--refuse", "S:1"});
    ASSERT_FALSE(vc.Port().empty());
    const CliRun r = RunCli({"--language", "eng", "write", "--port", vc.Port(), profile.string()});
    EXPECT_EQ(r.status, 5) << r.Describe();
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.Describe();
    EXPECT_EQ(lines[0].rfind(BlockCaption("eng", bcBasic) + ": written", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind(BlockCaption("eng", bcPedalAssist) + ": refused", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], BlockCaption("eng", bcThrottle) + ": not written");
}

TEST_F(CliTransfer, ATimeOutNamesTheBlockItWaitedFor)
{
    // The controller drops the second reply of its kind behind a byte no reply starts with.
    struct Case {
        const char* name;
        const char* scope;
        std::vector<std::string> command;
        std::uint8_t block;
    };
    const fs::path profile = dir / "bike.el";
    {
        LoggedController source({});
        ASSERT_FALSE(source.Port().empty());
        ASSERT_NO_FATAL_FAILURE(ReadInto(source, profile));
    }
    const Case cases[] = {
        {"read", "read", {"read", "--out", (dir / "out.el").string()}, bcPedalAssist},
        {"write", "write", {"write", profile.string()}, bcPedalAssist},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedController vc({"--prefix", "00", "--fault-scope", c.scope, "--fault-frame", "2"});
        ASSERT_FALSE(vc.Port().empty());
        std::vector<std::string> args = {"--language", "eng", "--timeout", "1000", "--port", vc.Port()};
        args.insert(args.end(), c.command.begin(), c.command.end());
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 4) << r.Describe() << vc.Log();
        EXPECT_NE(r.err.find(BlockCaption("eng", c.block)), std::string::npos) << r.err;
    }
}

TEST_F(CliTransfer, WriteStoresWhatTheControllerHeldBeforeItAndSnapshotsListsIt)
{
    LoggedController vc({});
    ASSERT_FALSE(vc.Port().empty());
    const fs::path base = dir / "base.el";
    ASSERT_NO_FATAL_FAILURE(ReadInto(vc, base));
    const ParameterValues before = ReadProfile(base);
    const fs::path edited = dir / "edited.el";
    WriteFile(edited,
              SetKey(ReadFile(base), "Basic", "LC", std::to_string(before.basic.speBasCurrLim == 12 ? 13 : 12)));
    CliOptions user;
    user.env["XDG_DATA_HOME"] = (dir / "data").string();

    const std::size_t framesBefore = vc.Received().size();
    const CliRun r = RunCli({"--json", "write", "--port", vc.Port(), edited.string()}, user);
    ASSERT_EQ(r.status, 0) << r.Describe() << vc.Log();
    const fs::path snapshot = ParseJson(r)["snapshot"].get<std::string>();
    EXPECT_EQ(snapshot.parent_path(), dir / "data" / "ZelborConfigTool" / "Snapshots");
    EXPECT_EQ(ReadProfile(snapshot), before); // the controller's state before the write
    // All three blocks were read before the first write frame went out.
    const std::vector<std::string> all = vc.Received();
    std::vector<std::string> heads;
    for (auto it = all.begin() + static_cast<long>(framesBefore); it != all.end() && it->rfind("16 ", 0) != 0; ++it)
        heads.push_back(it->substr(0, 5));
    ASSERT_GE(heads.size(), 3u) << vc.Log();
    EXPECT_EQ(std::vector<std::string>(heads.end() - 3, heads.end()),
              (std::vector<std::string>{"11 52", "11 53", "11 54"}));

    const CliRun list = RunCli({"--json", "snapshots"}, user);
    ASSERT_EQ(list.status, 0) << list.Describe();
    const auto j = ParseJson(list);
    ASSERT_EQ(j["snapshots"].size(), 1u) << list.out;
    EXPECT_EQ(j["snapshots"][0]["file"], snapshot.string());
    EXPECT_EQ(j["snapshots"][0]["model"], "M250");
    EXPECT_EQ(j["snapshots"][0]["source"], "zelbor-cli write");
    const CliRun text = RunCli({"snapshots"}, user);
    EXPECT_NE(text.out.find("\tM250\t"), std::string::npos) << text.out;

    // --no-snapshot: none more. A folder that cannot take one stops the write before it sends.
    ASSERT_EQ(RunCli({"write", "--no-snapshot", "--port", vc.Port(), edited.string()}, user).status, 0);
    EXPECT_EQ(ParseJson(RunCli({"--json", "snapshots"}, user))["snapshots"].size(), 1u);
    WriteFile(dir / "blocked", "a file where the folder should be");
    CliOptions blocked;
    blocked.env["XDG_DATA_HOME"] = (dir / "blocked").string();
    const std::size_t writesBefore = vc.Heads("16").size();
    const CliRun refused = RunCli({"write", "--port", vc.Port(), edited.string()}, blocked);
    EXPECT_EQ(refused.status, 7) << refused.Describe();
    EXPECT_NE(refused.err.find("--no-snapshot"), std::string::npos) << refused.err;
    EXPECT_EQ(vc.Heads("16").size(), writesBefore);
}

} // namespace
} // namespace zelbor::test
