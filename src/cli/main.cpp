#include "cli/Cli.h"

#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // The version is the build's project version, the same the desktop program shows.
    if (argc == 2 && (std::string_view(argv[1]) == "--version" || std::string_view(argv[1]) == "-V")) {
        std::cout << "orvo-tapmeter-cli " ORVO_VERSION_TEXT
                     "\n"
                     "Copyright 2026 the Orvo Tapmeter developers\n"
                     "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                     "This is free software: you are free to change and redistribute it.\n"
                     "There is NO WARRANTY, to the extent permitted by law.\n";
        return 0;
    }
    return orvo::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
