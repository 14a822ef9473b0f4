// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What to tell the user when opening a serial device was refused for lack of permission.
#include <string>

namespace zelbor {

// Built from the device's owner, group and mode as stat reports them. A group is named as the
// cure only when it may read and write the device and is not the superuser's group: joining the
// group of a device that only its owner may use would not help, and joining root's is unsafe.
// Otherwise the text says that the device gives this user no access and what can be done.
std::string AccessDeniedDetail(const std::string& device);

} // namespace zelbor
