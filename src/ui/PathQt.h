// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names between Qt strings and std::filesystem: through UTF-8 on every platform, so that
// names outside the ASCII range reach the file system unchanged on Windows too.
#include <QString>
#include <filesystem>

#include "common/PathText.h"

namespace zelbor {

inline std::filesystem::path ToPath(const QString& name) { return PathFromText(name.toStdString()); }
inline QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(PathText(path)); }

} // namespace zelbor
