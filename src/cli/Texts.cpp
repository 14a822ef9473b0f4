// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Texts.h"

#include "cli/Session.h"
#include "common/Catalogue.h"
#include "common/PathText.h"
#include "protocol/Communication.h"

#include <filesystem>

namespace zelbor::cli {

namespace fs = std::filesystem;

void ChooseLanguage(const std::optional<std::string>& asked)
{
    ReadChosenLanguageList(LanguagesIniPath());
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

Texts::Texts() : ini_(IniFile::Load(LanguageFile("soft/main.ini"))) {}

std::string Texts::Block(std::uint8_t code) const
{
    return code == bcBasic         ? Get("TABS", "tabBasicName", "Basic")
           : code == bcPedalAssist ? Get("TABS", "tabPAName", "Pedal Assist")
                                   : Get("TABS", "tabThrottleName", "Throttle Handle");
}

} // namespace zelbor::cli
