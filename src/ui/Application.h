// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Application-wide settings of the program, and Qt's own texts in the chosen language.
#include <filesystem>
#include <string>

namespace zelbor {

// Names the application. Only the application name is set: a display name would make Qt append
// " — <display name>" to every title the window manager shows, so that the captions of the
// windows and message boxes would no longer be their own texts.
void SetUpApplication();

// The folder beside the executable that holds Qt's own translations (qtbase_<language>.qm).
std::filesystem::path QtTranslationsFolder();

// Puts Qt's own texts (the standard buttons of message boxes, the file dialogs) into the language
// of `languageCode`, a language folder name such as "fra" (any ISO 639 code that Qt knows).
// Replaces the translation that an earlier call installed; a code that names no language Qt
// knows, or one for which the folder holds no translation, leaves Qt's English texts.
// Returns whether a translation is in force now.
bool UseQtTranslations(const std::string& languageCode);

} // namespace zelbor
