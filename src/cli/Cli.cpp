// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include "cli/Json.h"
#include "cli/Session.h"
#include "common/AtomicFile.h"
#include "common/Catalogue.h"
#include "common/Errors.h"
#include "common/Ini.h"
#include "common/PathText.h"
#include "profile/Profile.h"
#include "profile/ProfileCheck.h"
#include "protocol/Parameters.h"
#include "serial/Comm.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>

namespace zelbor::cli {

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- usage

const char kExitStatuses[] = R"(Exit status:
  0    done (diff: controller and profile agree)
  1    diff: some fields differ
  2    usage error
  3    the port cannot be opened (the message says why and what can be done)
  4    no answer from the controller within the time-out
  5    the controller refused a field (the message names it; nothing further is written)
  6    write: a field read back other than it was written
  7    file error: a profile that is missing, unreadable or malformed (the message names the key
       and its line), an output file that exists (see --force) or cannot be written
  8    the line failed during a transfer (a request could not be sent, the port did not open again)
  9    an unexpected error (a fault of this program: please report it with the message)
  130  interrupted (Ctrl+C): the port is closed, no output file is created or changed
)";

const char kCommonOptions[] = R"(Common options:
  --language CODE  texts of the controller's messages in this language (a folder of Languages/,
                   e.g. eng, fra, deu; default: the language the window last used)
  --json           print one JSON object on standard output, also when a command fails
  --timeout MS     longest wait for any answer of the controller (default 3000)
  --help           show the help of the command
)";

const char kMainUsage[] = R"(Usage: zelbor-cli [options] COMMAND [command options]

Reads, writes and compares the settings of a motor controller over its serial cable, with the
frames, waits and checks of the window.

Commands:
  ports                         list the serial ports
  identify --port PORT          show the controller's identification
  read --port PORT --out FILE   read all settings into a profile file (*.el)
  write --port PORT FILE        write a profile, read it back and compare every field
  diff --port PORT FILE         show the fields where controller and profile differ
  help [COMMAND]                show this text, or a command's

PORT is a device (/dev/ttyUSB0, COM3) or a name that "ports" shows.
)";

const std::map<std::string, std::string, std::less<>> kCommandUsage = {
    {"ports", R"(Usage: zelbor-cli ports [--json]

Lists the serial ports as the window's port list shows them, one a line. A virtual port shows
its link's name, then a tab and its full path.
)"},
    {"identify", R"(Usage: zelbor-cli identify --port PORT [--json] [--language CODE] [--timeout MS]

Connects as the window's Connect does (the identification request again every 500 ms until the
controller answers) and shows manufacturer, model, hardware and firmware version, nominal
voltage and maximum current.
)"},
    {"read", R"(Usage: zelbor-cli read --port PORT --out FILE [--force] [--json] [--language CODE] [--timeout MS]

Connects, reads the Basic, Pedal Assist and Throttle Handle blocks as Read Flash does and saves
them as a profile in the window's format, with the values the window would show. The file is
written whole or not at all; an existing file is replaced only with --force. A value the window
could not show as the controller holds it (beyond a field's range, a byte without a list item)
is named on standard error.
)"},
    {"write", R"(Usage: zelbor-cli write --port PORT FILE [--block basic|pedal-assist|throttle] [--json]
                  [--language CODE] [--timeout MS]

Checks the whole profile first (every key present once, a whole number in its field's range, a
list value one of its items, the current limit within the controller's maximum current): a
malformed profile is refused before anything is sent. Then writes all three blocks as Write
Flash does, or the one block given, reads them back and compares them field by field. A refused
field is named with the controller's message, and nothing further is written.
)"},
    {"diff", R"(Usage: zelbor-cli diff --port PORT FILE [--json] [--language CODE] [--timeout MS]

Reads all three blocks and lists the fields where the controller and the profile differ, with
both values as the window shows them. Nothing is written.
)"},
};

std::string CommandUsage(const std::string& command)
{
    const auto it = kCommandUsage.find(command);
    if (it == kCommandUsage.end())
        return std::string(kMainUsage) + "\n" + kCommonOptions + "\n" + kExitStatuses;
    std::string text = it->second + "\n" + kCommonOptions;
    if (command != "ports")
        text += std::string("\n") + kExitStatuses;
    return text;
}

// ---------------------------------------------------------------- options

struct Options {
    std::string command;
    std::optional<std::string> port, out, block, language, file;
    std::chrono::milliseconds timeout{3000};
    bool json = false, force = false, help = false;
};

Options Parse(const std::vector<std::string>& args)
{
    Options o;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::optional<std::string> inlineValue;
        if (a.rfind("--", 0) == 0) {
            if (const auto eq = a.find('='); eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a = a.substr(0, eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw Failure(Status::Usage, a + " needs a value");
            return args[++i];
        };
        auto flag = [&] {
            if (inlineValue)
                throw Failure(Status::Usage, a + " takes no value");
        };
        if (a == "--help" || a == "-h") {
            flag();
            o.help = true;
        } else if (a == "--json") {
            flag();
            o.json = true;
        } else if (a == "--force") {
            flag();
            o.force = true;
        } else if (a == "--port") {
            o.port = value();
        } else if (a == "--out") {
            o.out = value();
        } else if (a == "--block") {
            o.block = value();
        } else if (a == "--language") {
            o.language = value();
        } else if (a == "--timeout") {
            const std::string v = value();
            int ms = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
            if (ec != std::errc{} || end != v.data() + v.size() || ms < 1 || ms > 600000)
                throw Failure(Status::Usage,
                              "--timeout needs a number of milliseconds from 1 to 600000, not '" + v + "'");
            o.timeout = std::chrono::milliseconds(ms);
        } else if (a.size() > 1 && a[0] == '-') {
            throw Failure(Status::Usage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (!positional.empty()) {
        o.command = positional.front();
        positional.erase(positional.begin());
    }
    if (o.command == "help") {
        o.help = true;
        o.command = positional.empty() ? "" : positional.front();
    }
    if (o.help && (o.command.empty() || kCommandUsage.count(o.command)))
        return o;
    if (o.command.empty())
        throw Failure(Status::Usage, "no command given");
    if (!kCommandUsage.count(o.command))
        throw Failure(Status::Usage, "unknown command '" + o.command + "'");

    const bool takesFile = o.command == "write" || o.command == "diff";
    if (positional.size() > (takesFile ? 1u : 0u))
        throw Failure(Status::Usage, "unexpected argument '" + positional.back() + "'");
    if (takesFile) {
        if (positional.empty())
            throw Failure(Status::Usage, o.command + " needs a profile file");
        o.file = positional.front();
    }
    if (o.command != "ports" && !o.port)
        throw Failure(Status::Usage, o.command + " needs --port");
    if (o.command == "ports" && o.port)
        throw Failure(Status::Usage, "ports takes no --port");
    if (o.command == "read" && !o.out)
        throw Failure(Status::Usage, "read needs --out FILE");
    if (o.command != "read" && (o.out || o.force))
        throw Failure(Status::Usage, std::string(o.out ? "--out" : "--force") + " belongs to read");
    if (o.block && o.command != "write")
        throw Failure(Status::Usage, "--block belongs to write");
    return o;
}

std::optional<std::uint8_t> BlockOption(const std::optional<std::string>& name)
{
    if (!name)
        return std::nullopt;
    if (*name == "basic")
        return bcBasic;
    if (*name == "pedal-assist")
        return bcPedalAssist;
    if (*name == "throttle")
        return bcThrottle;
    throw Failure(Status::Usage, "--block is basic, pedal-assist or throttle, not '" + *name + "'");
}

const char* BlockName(std::uint8_t code)
{
    return code == bcBasic ? "basic" : code == bcPedalAssist ? "pedal-assist" : "throttle";
}

// ---------------------------------------------------------------- languages and texts

// The language the window would start in, or the one asked for.
void ChooseLanguage(const std::optional<std::string>& asked)
{
    ReadLanguageList(LanguagesIniPath());
    if (!asked)
        return;
    const std::string& code = *asked;
    const bool plain = !code.empty() && code.find_first_of("/\\:") == std::string::npos && code != "." && code != "..";
    std::error_code ec;
    if (!plain || !fs::is_directory(ExecutableFolder() / "Languages" / PathFromText(code) / "soft", ec)) {
        std::string known;
        for (const std::string& c : LanguageCodes)
            known += (known.empty() ? "" : ", ") + c;
        throw Failure(Status::Usage,
                      "no language '" + code + "'" + (known.empty() ? "" : " (there are: " + known + ")"));
    }
    CurrentLanguage = code;
}

class Texts {
public:
    Texts() : ini_(IniFile::Load(LanguageFile("soft/main.ini"))) {}
    std::string Get(const char* section, const char* key, const char* def) const
    {
        return ini_.ReadString(section, key, def);
    }
    std::string Block(std::uint8_t code) const
    {
        return code == bcBasic         ? Get("TABS", "tabBasicName", "Basic")
               : code == bcPedalAssist ? Get("TABS", "tabPAName", "Pedal Assist")
                                       : Get("TABS", "tabThrottleName", "Throttle Handle");
    }

private:
    IniFile ini_;
};

// ---------------------------------------------------------------- values

// A field's bits in a block's data bytes.
unsigned FieldBits(const ParameterField& f, const Bytes& data)
{
    return (unsigned{data.at(f.dataByte)} >> f.shift) & f.Mask();
}

// A field's value as the window shows it: the number, or the list's item.
std::string FieldText(const ParameterField& f, unsigned bits)
{
    if (f.kind != ControlKind::List)
        return std::to_string(bits);
    const int index = f.ItemIndex(bits);
    if (index < 0)
        return "byte " + std::to_string(bits) + " (no item)";
    std::string text = (*f.items)[static_cast<std::size_t>(index)];
    if ((f.ItemBits(index) & f.Mask()) != bits)
        text += " (byte " + std::to_string(bits) + ")";
    return text;
}

Json FieldJson(const ParameterField& f)
{
    Json j = Json::Object();
    j.Set("block", BlockName(f.block));
    j.Set("key", f.profileKey);
    j.Set("control", f.control);
    j.Set("field", f.label);
    return j;
}

std::string FieldName(const Texts& texts, const ParameterField& f)
{
    return "[" + texts.Block(f.block) + "] " + f.label;
}

// The controller's names are single-byte characters, as the window shows them.
std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A controller's text on a line of its own: control characters (a newline would start a line
// that reads like another result) are shown as \xNN.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

int CurrentLimitUpperBound(const ControllerInfo& info)
{
    return CurrentLimitMaximum(info).value_or(FindParameter("speBasCurrLim")->maximum);
}

struct Note {
    const ParameterField* field;
    std::string text;
};

// The values the window holds after Connect and Read Flash, which its Save As stores: spin values
// within the control's range (the current limit's upper bound is the controller's maximum
// current), no item where a list has none for the byte. The low-battery volts are kept as read;
// the window, which keeps the text it showed before when the volts are not among those offered,
// would store a value the controller does not hold. What cannot be stored as read is noted.
ProfileValues AsTheWindowShows(const ParameterValues& read, const ControllerInfo& info, std::vector<Note>& notes)
{
    ProfileValues shown;
    for (const ParameterField& f : ParameterTable()) {
        const int value = f.Value(read);
        int& out = f.Value(shown);
        out = value;
        if (f.kind == ControlKind::Spin) {
            const int hi = f.control == "speBasCurrLim" ? CurrentLimitUpperBound(info) : f.maximum;
            out = std::clamp(value, f.minimum, std::max(f.minimum, hi));
            if (out != value)
                notes.push_back({&f, "the controller holds " + std::to_string(value) + ", outside " +
                                         std::to_string(f.minimum) + ".." + std::to_string(hi) +
                                         "; the profile keeps " + std::to_string(out)});
        } else if (f.kind == ControlKind::List) {
            if (const KeptByte* kept = f.Kept(read); kept && *kept && value < 0)
                notes.push_back(
                    {&f, "the controller's byte " + std::to_string(**kept) +
                             " is no item of the list; the profile keeps -1 (no selection), which write refuses"});
            else if (kept && *kept)
                notes.push_back({&f, "the controller's byte " + std::to_string(**kept) + " shows as \"" +
                                         (*f.items)[static_cast<std::size_t>(value)] +
                                         "\", which writes another byte"});
        }
    }
    return shown;
}

// A profile whole and fit to be written, or Failure(File) naming every problem.
ProfileValues CheckedProfile(const std::string& name)
{
    const fs::path path = PathFromText(name);
    std::string text;
    std::error_code ec;
    if (!ReadWholeFile(path, text)) {
        const bool exists = fs::exists(path, ec);
        throw Failure(Status::File,
                      name + ": " +
                          (!exists                      ? "no such file"
                           : fs::is_directory(path, ec) ? "is a folder, not a profile"
                                                        : "cannot be read (not a regular file, or no permission)"));
    }
    const std::vector<ProfileProblem> problems = CheckProfile(IniFile::Parse(text));
    if (!problems.empty()) {
        std::string message = "the profile cannot be written as it is:";
        constexpr std::size_t kShown = 12; // a file of the wrong kind lacks every key
        for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
            message += "\n  " + ProblemText(path, problems[i]);
        if (problems.size() > kShown)
            message += "\n  ... and " + std::to_string(problems.size() - kShown) + " more";
        throw Failure(Status::File, message);
    }
    return ParseProfile(text);
}

// A field whose bits on the wire differ between two sets of values, with both as the window shows them.
struct Difference {
    const ParameterField* field;
    std::string first, second;
};

std::vector<Difference> Differences(std::uint8_t block, const ParameterValues& first, const ParameterValues& second)
{
    const Bytes a = EncodeBlock(block, first), b = EncodeBlock(block, second);
    std::vector<Difference> out;
    for (const ParameterField* f : BlockFields(block))
        if (const unsigned x = FieldBits(*f, a), y = FieldBits(*f, b); x != y)
            out.push_back({f, FieldText(*f, x), FieldText(*f, y)});
    return out;
}

std::vector<std::uint8_t> BlocksOf(std::optional<std::uint8_t> block)
{
    if (block)
        return {*block};
    return {bcBasic, bcPedalAssist, bcThrottle};
}

// ---------------------------------------------------------------- commands

struct Context {
    Options options;
    std::ostream& out;
    std::ostream& err;
    bool progress;
    Json result = Json::Object();
    std::vector<std::string> lines; // the results in text form, printed when the command ends
};

std::string ResolvePort(const std::string& given)
{
    std::error_code ec;
    if (fs::exists(PathFromText(given), ec))
        return given;
    for (const std::string& port : ListSerialPorts())
        if (PortShownName(port) == given)
            return port;
    return given;
}

void Ports(Context& c)
{
    Json list = Json::Array{};
    for (const std::string& port : ListSerialPorts()) {
        const std::string shown = PortShownName(port);
        c.lines.push_back(shown == port ? port : shown + "\t" + port);
        Json j = Json::Object();
        j.Set("name", shown);
        j.Set("path", port);
        list.Push(j);
    }
    c.result.Set("ports", list);
}

class Connected {
public:
    Connected(Context& c, const Texts& texts)
        : session_(c.options.timeout, [&c, &texts](std::uint8_t block, bool written) {
              if (c.progress)
                  c.err << texts.Block(block) << (written ? ": written" : ": read") << std::endl;
          })
    {
        session_.Connect(ResolvePort(*c.options.port));
        const ControllerInfo& info = session_.Info();
        const std::array<std::pair<const char*, std::string>, 6> values = {{
            {"manufacturer", Latin1ToUtf8(ManufacturerText(info))},
            {"model", Latin1ToUtf8(ModelText(info))},
            {"hardwareVersion", Latin1ToUtf8(HardwareVersionText(info))},
            {"firmwareVersion", Latin1ToUtf8(FirmwareVersionText(info))},
            {"nominalVoltage", NominalVoltageRowForCode(info.nominalVoltageCode).text},
            {"maximumCurrent", MaxCurrentText(info)},
        }};
        Json j = Json::Object();
        for (const auto& [name, value] : values)
            j.Set(name, value);
        c.result.Set("identification", j);
        const std::array<std::string, 6> captions = {
            texts.Get("CONTROLERINFO", "manufacturer", "Manufacturer:"),
            texts.Get("CONTROLERINFO", "model", "Model:"),
            texts.Get("CONTROLERINFO", "chardware", "Hardware Ver.:"),
            texts.Get("CONTROLERINFO", "firmware", "Firmware Ver.:"),
            texts.Get("CONTROLERINFO", "nomVolt", "Nominal Voltage:"),
            texts.Get("CONTROLERINFO", "maxCurrent", "Max. Current:"),
        };
        for (std::size_t i = 0; i < values.size(); ++i)
            identification_.push_back(captions[i] + " " + Printable(values[i].second));
    }
    Session& operator*() { return session_; }
    Session* operator->() { return &session_; }
    const std::vector<std::string>& IdentificationLines() const { return identification_; }

private:
    Session session_;
    std::vector<std::string> identification_;
};

void Identify(Context& c)
{
    const Texts texts;
    Connected session(c, texts);
    c.lines = session.IdentificationLines();
}

void Read(Context& c)
{
    const fs::path out = PathFromText(*c.options.out);
    std::error_code ec;
    if (!c.options.force && (fs::exists(out, ec) || fs::is_symlink(out, ec)))
        throw Failure(Status::File, *c.options.out + ": the file exists (give --force to replace it)");
    const Texts texts;
    Connected session(c, texts);
    const ParameterValues read = session->Read(std::nullopt);
    session->Close();

    std::vector<Note> notes;
    const ProfileValues shown = AsTheWindowShows(read, session->Info(), notes);
    Json warnings = Json::Array{};
    for (const Note& n : notes) {
        c.err << "zelbor-cli: warning: " << FieldName(texts, *n.field) << ": " << n.text << "\n";
        Json w = FieldJson(*n.field);
        w.Set("warning", n.text);
        warnings.Push(w);
    }
    c.result.Set("warnings", warnings);

    if (StopRequested()) // nothing is written after Ctrl+C
        throw Failure(Status::Interrupted, "interrupted");
    if (!c.options.force && (fs::exists(out, ec) || fs::is_symlink(out, ec))) // created meanwhile
        throw Failure(Status::File, *c.options.out + ": the file exists (give --force to replace it)");
    try {
        WriteProfile(out, shown);
    } catch (const EFileError& e) {
        throw Failure(Status::File, e.what());
    }
    c.result.Set("file", *c.options.out);
    c.lines.push_back(*c.options.out);
}

void Write(Context& c)
{
    const std::optional<std::uint8_t> block = BlockOption(c.options.block);
    const ProfileValues values = CheckedProfile(*c.options.file);
    const Texts texts;
    Connected session(c, texts);

    const ParameterField& limit = *FindParameter("speBasCurrLim");
    const int upper = CurrentLimitUpperBound(session->Info());
    if (limit.Value(values) > upper && (!block || *block == bcBasic)) {
        std::string text;
        ReadWholeFile(PathFromText(*c.options.file), text);
        const std::size_t line = IniFile::Parse(text).Line(limit.Block().section, limit.profileKey);
        throw Failure(Status::File, *c.options.file + (line ? ":" + std::to_string(line) : "") + ": [Basic] " +
                                        limit.profileKey + "=" + std::to_string(limit.Value(values)) +
                                        ": above the controller's maximum current of " + std::to_string(upper) + " A");
    }

    Json blocks = Json::Array{};
    for (std::uint8_t b : BlocksOf(block))
        blocks.Push(BlockName(b));
    c.result.Set("blocks", blocks);
    try {
        session->Write(block, values);
    } catch (const Failure& f) {
        if (f.status() == Status::Refused && session->RefusedField()) {
            const ParameterField& field = *session->RefusedField();
            Json r = FieldJson(field);
            r.Set("message", f.what());
            c.result.Set("refused", r);
            throw Failure(Status::Refused, FieldName(texts, field) + ": " + f.what());
        }
        throw;
    }

    const ParameterValues readBack = session->Read(block);
    Json mismatches = Json::Array{};
    int count = 0;
    for (std::uint8_t b : BlocksOf(block)) {
        const std::vector<Difference> differing = Differences(b, values, readBack);
        for (const Difference& d : differing) {
            ++count;
            Json m = FieldJson(*d.field);
            m.Set("written", d.first);
            m.Set("readBack", d.second);
            mismatches.Push(m);
            c.lines.push_back(FieldName(texts, *d.field) + ": written " + d.first + ", read back " + d.second);
        }
        if (differing.empty())
            c.lines.push_back(texts.Block(b) + ": written and read back");
    }
    c.result.Set("mismatches", mismatches);
    if (count)
        throw Failure(Status::Mismatch, std::to_string(count) + (count == 1 ? " field reads" : " fields read") +
                                            " back other than written");
}

void Diff(Context& c)
{
    const ProfileValues profile = CheckedProfile(*c.options.file);
    const Texts texts;
    Connected session(c, texts);
    const ParameterValues held = session->Read(std::nullopt);
    Json differences = Json::Array{};
    for (std::uint8_t b : BlocksOf(std::nullopt)) {
        for (const Difference& d : Differences(b, held, profile)) {
            Json j = FieldJson(*d.field);
            j.Set("controller", d.first);
            j.Set("profile", d.second);
            differences.Push(j);
            c.lines.push_back(FieldName(texts, *d.field) + ": controller " + d.first + ", profile " + d.second);
        }
    }
    c.result.Set("differences", differences);
}

std::string MessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unexpected error";
    }
}

} // namespace

int ExitStatus(std::exception_ptr error)
{
    if (!error)
        return static_cast<int>(Status::Ok);
    try {
        std::rethrow_exception(error);
    } catch (const Failure& f) {
        return static_cast<int>(f.status());
    } catch (const EFileError&) {
        return static_cast<int>(Status::File);
    } catch (...) {
        return static_cast<int>(Status::Unexpected);
    }
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress)
{
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    Context c{{}, out, err, progress && !json, Json::Object(), {}};
    Status status = Status::Ok;
    try {
        c.options = Parse(args);
        if (c.options.help) {
            out << CommandUsage(c.options.command);
            return 0;
        }
        ChooseLanguage(c.options.language);
        const std::string& command = c.options.command;
        if (command == "ports")
            Ports(c);
        else if (command == "identify")
            Identify(c);
        else if (command == "read")
            Read(c);
        else if (command == "write")
            Write(c);
        else
            Diff(c);
        if (command == "diff" && !c.lines.empty())
            status = Status::Differences;
    } catch (...) {
        const std::exception_ptr thrown = std::current_exception();
        status = static_cast<Status>(ExitStatus(thrown));
        const std::string message = MessageOf(thrown);
        err << "zelbor-cli: " << message << "\n";
        if (status == Status::Usage)
            err << "Try 'zelbor-cli --help'.\n";
        Json error = Json::Object();
        error.Set("status", static_cast<int>(status));
        error.Set("message", message);
        c.result.Set("error", error);
    }
    if (json) {
        out << c.result.Dump() << "\n";
    } else {
        for (const std::string& line : c.lines)
            out << line << "\n";
    }
    out.flush();
    return static_cast<int>(status);
}

} // namespace zelbor::cli
