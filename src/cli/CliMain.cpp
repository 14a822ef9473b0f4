// SPDX-License-Identifier: GPL-3.0-or-later
// zelbor-cli: the controller's settings from the command line (see Cli.h).
#include "cli/Cli.h"
#include "cli/Session.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace zelbor {

namespace {

void OnStop(int) { zelbor::cli::RequestStop(); }

std::vector<std::string> Arguments(int argc, char** argv)
{
#ifdef _WIN32
    // The narrow arguments are in the ANSI code page; the program's texts and file names are UTF-8.
    (void)argc;
    (void)argv;
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string a(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
            if (n > 1)
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, a.data(), n, nullptr, nullptr);
            args.push_back(a);
        }
        LocalFree(wide);
    }
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

bool ErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
    std::signal(SIGINT, OnStop);
    std::signal(SIGBREAK, OnStop);
#else
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe of the output is an error of the write, not a death
#endif
    return zelbor::cli::Run(Arguments(argc, argv), std::cout, std::cerr, ErrorIsTerminal());
}
