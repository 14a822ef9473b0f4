// SPDX-License-Identifier: GPL-3.0-or-later
// The control of the DLL search test: a program without the programs' protection that loads each
// library named on its command line by name alone, as an unprotected program or Qt would. Run
// beside the marker libraries it must take them (their markers appear); otherwise the test's
// finding "no marker" for the real programs would prove nothing. Exits with the number of names
// that could not be loaded.
#include <windows.h>

int main(int argc, char** argv)
{
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        if (!LoadLibraryA(argv[i]))
            ++failed;
    return failed;
}
