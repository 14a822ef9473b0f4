// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Application.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "common/Catalogue.h"
#include "ui/PathQt.h"
#include "ui/Report.h"

namespace zelbor {

void SetUpApplication() { QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle)); }

std::filesystem::path QtTranslationsFolder() { return ExecutableFolder() / "translations"; }

bool UseQtTranslations(const std::string& languageCode)
{
    static std::unique_ptr<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const QLocale::Language language =
        QLocale::codeToLanguage(QString::fromStdString(languageCode), QLocale::AnyLanguageCode);
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return false;
    auto translator = std::make_unique<QTranslator>();
    // Tries qtbase_fr_FR.qm, then qtbase_fr.qm, and so on for the language's usual forms.
    const QString folder = ToQString(QtTranslationsFolder());
    if (!translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"), folder))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = std::move(translator);
    return true;
}

} // namespace zelbor
