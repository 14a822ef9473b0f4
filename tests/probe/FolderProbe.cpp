// SPDX-License-Identifier: GPL-3.0-or-later
// Started by the core tests from a copy of itself in some folder, with another working folder:
// writes the folder the program takes as its own (UTF-8) to the file named by its argument.
#include "common/Catalogue.h"
#include "common/PathText.h"

#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::ofstream out(zelbor::PathFromText(argv[1]), std::ios::binary);
    out << zelbor::PathText(zelbor::ExecutableFolder());
    return out ? 0 : 1;
}
