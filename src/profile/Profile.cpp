// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/Profile.h"

#include "common/Ini.h"

#include <string>

namespace zelbor {

namespace {

// Visits the stored numbers in file order: f(field, section, key). The Pedal Assist keys do not
// follow the block's data order; the file order is the table's profile order.
template <class F>
void ForEachKey(F&& f)
{
    for (const ParameterField* field : ProfileOrder())
        f(*field, field->Block().section, field->profileKey.c_str());
}

ProfileValues FromIni(const IniFile& ini)
{
    ProfileValues v;
    ForEachKey([&](const ParameterField& field, const char* section, const char* key) {
        field.Value(v) = ini.ReadProfileInt(section, key, field.profileDefault);
    });
    return v;
}

void Store(IniEditor& editor, const ProfileValues& values)
{
    ForEachKey([&](const ParameterField& field, const char* section, const char* key) {
        editor.Set(section, key, std::to_string(field.Value(values)));
    });
}

} // namespace

ProfileValues DefaultProfileValues()
{
    ProfileValues v;
    ForEachKey([&](const ParameterField& field, const char*, const char*) { field.Value(v) = field.profileDefault; });
    return v;
}

ProfileValues ReadProfile(const std::filesystem::path& path) { return FromIni(IniFile::Load(path)); }

ProfileValues ParseProfile(std::string_view text) { return FromIni(IniFile::Parse(text)); }

void WriteProfile(const std::filesystem::path& path, const ProfileValues& values)
{
    IniEditor editor = IniEditor::Load(path);
    Store(editor, values);
    editor.Save(path);
}

std::string ProfileText(std::string_view existing, const ProfileValues& values)
{
    IniEditor editor = IniEditor::FromText(existing);
    Store(editor, values);
    return editor.Text();
}

} // namespace zelbor
