#include "core/CLI.h"

#include <cstdio>

int main(int argc, char** argv) {
    // The command line needs no display: it runs, and ends the process, before any Qt object exists.
    tallymere::CLI::runIfRequested(argc, argv);
    std::puts("usage: tallymere [--scan PATH | --snapshot PATH]");
    return 0;
}
