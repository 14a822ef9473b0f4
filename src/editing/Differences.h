// SPDX-License-Identifier: GPL-3.0-or-later
// Fields compared as the controller takes them: by the bits each one puts on the wire, and shown
// as the window shows them. The command line's diff and write and the window's comparison with
// the controller use the same rules, so that they never disagree about what differs.
#pragma once
#include "protocol/Parameters.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelbor {

// A field's bits in a block's data bytes.
unsigned FieldBits(const ParameterField& f, const Bytes& data);
// A field's bits as the window shows them: the number, or the list's item.
std::string FieldText(const ParameterField& f, unsigned bits);
// A field whose bits on the wire differ between two sets of values, with both as the window
// shows them, and every such field of a block.
struct Difference {
    const ParameterField* field;
    std::string first, second;
};
std::vector<Difference> Differences(std::uint8_t block, const ParameterValues& first, const ParameterValues& second);

} // namespace zelbor
