#include "app/ScreenshotHarness.h"
#include "app/TallymereApp.h"
#include "cli/CLI.h"

int main(int argc, char** argv) {
    // The command line needs no display: it runs, and ends the process, before any Qt object exists.
    tallymere::CLI::runIfRequested(argc, argv);
    // A picture of a window, taken without a user (offscreen when there is no display); ends the process.
    tallymere::ScreenshotHarness::runIfRequested(argc, argv);
    return tallymere::TallymereApp::run(argc, argv);
}
