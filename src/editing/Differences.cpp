// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/Differences.h"

namespace zelbor {

unsigned FieldBits(const ParameterField& f, const Bytes& data)
{
    return (unsigned{data.at(f.dataByte)} >> f.shift) & f.Mask();
}

std::string FieldText(const ParameterField& f, unsigned bits)
{
    if (f.kind != ControlKind::List)
        return std::to_string(bits);
    const int index = f.ItemIndex(bits);
    if (index < 0)
        return "byte " + std::to_string(bits) + " (no item)";
    std::string text = (*f.items)[static_cast<std::size_t>(index)];
    if ((f.ItemBits(index) & f.Mask()) != bits)
        text += " (byte " + std::to_string(bits) + ")";
    return text;
}

std::vector<Difference> Differences(std::uint8_t block, const ParameterValues& first, const ParameterValues& second)
{
    const Bytes a = EncodeBlock(block, first), b = EncodeBlock(block, second);
    std::vector<Difference> out;
    for (const ParameterField* f : BlockFields(block))
        if (const unsigned x = FieldBits(*f, a), y = FieldBits(*f, b); x != y)
            out.push_back({f, FieldText(*f, x), FieldText(*f, y)});
    return out;
}

} // namespace zelbor
