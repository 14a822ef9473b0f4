// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session connected to the controller of --port, whose identification is in the results: the
// start of every command that talks to a controller.
#include "cli/Command.h"
#include "cli/Session.h"
#include "cli/Texts.h"

#include <string>
#include <vector>

namespace zelbor::cli {

// A port's path, or the name the port list shows for it.
std::string ResolvePort(const std::string& given);

// Hands every frame and chunk of the session to standard error when --trace was given.
void TraceTo(Session& session, Context& c);

class Connected {
public:
    Connected(Context& c, const Texts& texts);
    Session& operator*() { return session_; }
    Session* operator->() { return &session_; }
    // The identification under the window's captions, one line each.
    const std::vector<std::string>& IdentificationLines() const { return identification_; }

private:
    Session session_;
    std::vector<std::string> identification_;
};

} // namespace zelbor::cli
