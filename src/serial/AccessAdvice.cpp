// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/AccessAdvice.h"
#include "serial/Doctor.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace zelbor {

namespace {

std::string GroupName(gid_t gid)
{
    const struct group* g = getgrgid(gid);
    return g && g->gr_name && *g->gr_name ? g->gr_name : std::string();
}

std::string UserName(uid_t uid)
{
    const struct passwd* p = getpwuid(uid);
    return p && p->pw_name && *p->pw_name ? p->pw_name : DoctorText("access_user_id", "user %1", {std::to_string(uid)});
}

// The permission bits as ls shows them: "rw-------".
std::string ModeText(mode_t mode)
{
    const char letters[] = "rwxrwxrwx";
    std::string text;
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400u >> bit)) ? letters[bit] : '-';
    return text;
}

std::string AskForAccess()
{
    return DoctorText("access_ask",
                      "Ask the administrator of this computer for access, for example a udev rule that gives the "
                      "device to the group \"dialout\" with read and write access for it (GROUP=\"dialout\", "
                      "MODE=\"0660\"), and membership of that group.");
}

} // namespace

std::string AccessDeniedDetail(const std::string& device)
{
    const std::string refused = DoctorText("access_denied", "Access to %1 is not permitted.", {device});
    struct stat st {};
    if (stat(device.c_str(), &st) != 0)
        return refused + " " + AskForAccess();

    const std::string group = GroupName(st.st_gid);
    const bool groupMayUse = (st.st_mode & S_IRGRP) != 0 && (st.st_mode & S_IWGRP) != 0;
    if (groupMayUse && st.st_gid != 0 && !group.empty())
        return refused + " " +
               DoctorText("access_join",
                          "The device belongs to the group \"%1\"; join it with \"sudo usermod -aG %1 $USER\", then "
                          "log out and log in again.",
                          {group});

    const std::string groupText = group.empty() ? DoctorText("access_group_id", "group %1", {std::to_string(st.st_gid)})
                                                : DoctorText("access_group", "group \"%1\"", {group});
    return refused + " " +
           DoctorText("access_closed",
                      "The device (owner \"%1\", %2, permissions %3) is not open to this user, and no group that "
                      "this user could join may read and write it.",
                      {UserName(st.st_uid), groupText, ModeText(st.st_mode)}) +
           " " + AskForAccess();
}

} // namespace zelbor
