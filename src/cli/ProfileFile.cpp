// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProfileFile.h"

#include "cli/Session.h"
#include "common/AtomicFile.h"
#include "common/Ini.h"
#include "common/PathText.h"

namespace zelbor::cli {

namespace fs = std::filesystem;

std::string ReadProfileText(const std::string& name)
{
    const fs::path path = PathFromText(name);
    std::string text;
    if (ReadWholeFile(path, text))
        return text;
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    throw Failure(Status::File,
                  name + ": " +
                      (!exists                      ? "no such file"
                       : fs::is_directory(path, ec) ? "is a folder, not a profile"
                                                    : "cannot be read (not a regular file, or no permission)"));
}

void RefuseProfile(const std::string& heading, const fs::path& path, const std::vector<ProfileProblem>& problems)
{
    std::string message = heading;
    constexpr std::size_t kShown = 12; // a file of the wrong kind lacks every key
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
        message += "\n  " + ProblemText(path, problems[i]);
    if (problems.size() > kShown)
        message += "\n  ... and " + std::to_string(problems.size() - kShown) + " more";
    throw Failure(Status::File, message);
}

ProfileValues CheckedProfile(const std::string& name)
{
    const std::string text = ReadProfileText(name);
    const std::vector<ProfileProblem> problems = CheckProfile(IniFile::Parse(text));
    if (!problems.empty())
        RefuseProfile("the profile cannot be written as it is:", PathFromText(name), problems);
    return ParseProfile(text);
}

void SaveWholeProfile(const fs::path& path, const ProfileValues& values)
{
    IniEditor editor = IniEditor::FromText("");
    for (const ParameterField* field : ProfileOrder())
        editor.Set(field->Block().section, field->profileKey, std::to_string(field->Value(values)));
    editor.Save(path);
}

} // namespace zelbor::cli
