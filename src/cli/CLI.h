#pragma once
#include "core/DiskScanner.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere::CLI {

// A headless command found among the program's arguments.
struct Request {
    enum class Command { scan, snapshot };
    Command command = Command::scan;
    std::string path; // the argument after the flag, unchanged

    friend bool operator==(const Request&, const Request&) = default;
};

// The command the arguments ask for (element 0 is the program path): "--snapshot PATH" wins over
// "--scan PATH" wherever they stand; only the first occurrence of each flag counts, and the
// element after it is the path whatever it is. None when neither flag is followed by anything, so
// the window starts.
std::optional<Request> parse(const std::vector<std::string>& arguments);

// The one line printed when the arguments cannot be understood.
inline constexpr std::string_view usage =
    "usage: tallymere [--scan PATH | --snapshot PATH | --shot PATH OUT.png [TAB] [VIZ] [THEME] | --shot-settings OUT.png]";

// Whether the arguments can be understood: every argument starting with "--" is one of the
// program's flags (or one of the toolkit's own options) followed by the values it needs. A flag
// written with "=" ("--scan=/tmp") is not one of them. With a mode that ends without a window
// ("--scan", "--snapshot", "--shot", "--shot-settings"), every other word must be a value of a flag
// or of one of the toolkit's options.
bool isWellFormed(const std::vector<std::string>& arguments);

// The scan settings for a path: the whole-disk options for the root folder (any spelling of it), else hidden entries
// included, allocated sizes counted, nothing excluded.
ScanOptions scanOptions(const std::string& path);

// The title a snapshot of the path gets: "Macintosh HD" for the root folder, else the path's last
// component as text.
std::string snapshotTitle(const std::string& path);

// Scans the request's path and prints the summary or stores the snapshot in `snapshotFolder`.
// Returns the exit status: 0 done, 1 when the path cannot be examined, the snapshot cannot be
// saved or the output cannot be written (the reason goes to `err`). Folders that could not be read
// are counted in one line on `err`; they do not change the status.
int run(const Request& request, std::ostream& out, std::ostream& err, const std::string& snapshotFolder);

// Called first thing at start-up, before any window or application object exists. Arguments that
// cannot be understood print the usage line and end the process with status 2. Returns at once
// when the arguments hold no command; otherwise runs it and ends the process with its status
// (output flushed, no destructors run while scan threads may still be winding down).
void runIfRequested(int argc, char** argv);

} // namespace tallymere::CLI
