#include "cli/CLI.h"

#include "core/ByteFormat.h"
#include "core/DiskScanner.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "platform/PathGate.h"
#include "services/SnapshotStore.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include <unistd.h>

namespace tallymere::CLI {
namespace {

constexpr int snapshotMaxDepth = 6;
constexpr std::int64_t snapshotMinSize = 5000000;
constexpr std::size_t topChildren = 12;

std::shared_ptr<FileNode> scanPath(const std::string& path, std::ostream& err, double* seconds = nullptr) {
    ScanProgress progress; // nothing polls it
    const ScanOptions options = scanOptions(path);
    const auto start = std::chrono::steady_clock::now();
    auto root = path.empty() ? nullptr : DiskScanner::scan(path, options, progress);
    if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!root) {
        // The scan only says that its root could not be examined: the system says why.
        const int error = PathGate::stat(path).error;
        err << "cannot stat " << oneLine(path);
        if (error != 0) err << ": " << PathGate::message(error);
        err << '\n' << std::flush;
        return root;
    }
    // Counted by the scan as it went: nothing walks the tree again to know.
    const std::int64_t unread = progress.unreadFolders();
    if (unread > 0) {
        err << std::to_string(unread) << (unread == 1 ? " folder" : " folders") << " could not be read";
        std::string reasons;
        const std::int64_t starved = progress.unreadForLackOfDescriptors();
        if (starved > 0) reasons = std::to_string(starved) + " for lack of a free file descriptor";
        const std::int64_t unanswered = progress.unreadWithoutAnswer();
        if (unanswered > 0)
            reasons += (reasons.empty() ? "" : ", ") + std::to_string(unanswered) + " whose mount did not answer";
        if (!reasons.empty()) err << " (" << reasons << ")";
        err << '\n' << std::flush;
    }
    return root;
}

// Reports a failed write of the output (a full disk, a closed pipe) instead of a silent success.
int finish(std::ostream& out, std::ostream& err) {
    out.flush();
    if (out) return 0;
    const int error = errno;
    err << "cannot write the output: " << std::strerror(error ? error : EIO) << '\n' << std::flush;
    return 1;
}

// Code points, the width a terminal gives plain text.
std::size_t textWidth(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string padRight(std::string text, std::size_t width) {
    const std::size_t used = textWidth(text);
    if (used < width) text.append(width - used, ' ');
    return text;
}

std::string padLeft(const std::string& text, std::size_t width) {
    const std::size_t used = textWidth(text);
    return used < width ? std::string(width - used, ' ') + text : text;
}

// Two decimals with a "." whatever the locale says.
std::string twoDecimals(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

int scanCommand(const std::string& path, std::ostream& out, std::ostream& err) {
    double seconds = 0;
    const auto root = scanPath(path, err, &seconds);
    if (!root) return 1;
    out << "scanned " << oneLine(path) << " in " << twoDecimals(seconds) << "s\n";
    out << "  size      " << ByteFormat::string(root->size, false) << "  (" << std::to_string(root->size)
        << " bytes)\n";
    out << "  allocated " << ByteFormat::string(root->allocated, false) << '\n';
    out << "  files     " << ByteFormat::count(root->fileCount) << "  folders " << ByteFormat::count(root->folderCount)
        << '\n';
    out << "  top children:\n";
    const auto children = root->sortedChildren(false);
    for (std::size_t i = 0; i < std::min(children.size(), topChildren); ++i) {
        const FileNode& child = *children[i];
        out << "    " << padRight(oneLine(child.name()), 42) << ' ' << padLeft(ByteFormat::string(child.size, false), 12)
            << ' ' << (child.isDirectory ? std::string_view("dir") : FileCategories::title(child.category)) << '\n';
    }
    return finish(out, err);
}

int captureSnapshot(const std::string& path, std::ostream& out, std::ostream& err, const std::string& folder) {
    const auto root = scanPath(path, err);
    if (!root) return 1;
    const Snapshot snapshot = SnapshotStore::capture(*root, snapshotTitle(path), true, snapshotMaxDepth, snapshotMinSize);
    try {
        SnapshotStore::save(snapshot, folder);
    } catch (const std::exception& error) {
        err << "save failed: " << error.what() << '\n' << std::flush;
        return 1;
    }
    out << "snapshot " << snapshot.id.text() << " \u2014 " << oneLine(snapshot.title) << ", "
        << ByteFormat::string(snapshot.totalSize, false) << ", " << std::to_string(snapshot.entries.size())
        << " entries\n";
    return finish(out, err);
}

} // namespace

bool isWellFormed(const std::vector<std::string>& arguments) {
    struct Flag {
        std::string_view name;
        std::size_t minValues, maxValues;
    };
    // Ours, then the toolkit's own options that take a value (it accepts them with two dashes too).
    static constexpr Flag flags[] = {
        {"--scan", 1, 1}, {"--snapshot", 1, 1}, {"--shot", 2, 5}, {"--shot-settings", 1, 1},
        {"--platform", 1, 1}, {"--platformpluginpath", 1, 1}, {"--platformtheme", 1, 1}, {"--plugin", 1, 1},
        {"--style", 1, 1}, {"--stylesheet", 1, 1}, {"--qwindowgeometry", 1, 1}, {"--qwindowtitle", 1, 1},
        {"--qwindowicon", 1, 1}, {"--display", 1, 1}, {"--session", 1, 1}, {"--reverse", 0, 0},
    };
    static constexpr std::size_t ownFlags = 4; // the first four: the modes that end without a window
    bool headless = false;
    bool strayWord = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (!word.starts_with('-')) {
            strayWord = true;
            continue;
        }
        // The toolkit also takes its options with one dash; those with a value take the next word.
        if (!word.starts_with("--")) {
            const auto takesValue = std::find_if(std::begin(flags) + ownFlags, std::end(flags),
                                                 [&](const Flag& known) { return known.name.substr(1) == word; });
            if (takesValue != std::end(flags) && takesValue->maxValues > 0 && i + 1 < arguments.size()) ++i;
            continue;
        }
        const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                       [&](const Flag& known) { return known.name == word; });
        if (flag == std::end(flags)) return false;
        headless = headless || flag < std::begin(flags) + ownFlags;
        std::size_t values = 0;
        while (values < flag->maxValues && i + 1 < arguments.size() &&
               (values < flag->minValues || !arguments[i + 1].starts_with("--"))) {
            // A toolkit option after the optional words is not one of them.
            if (values >= flag->minValues && arguments[i + 1].starts_with('-')) break;
            ++values;
            ++i;
        }
        if (values < flag->minValues) return false;
    }
    // A word no option takes would be silently ignored by a mode that prints or writes something:
    // the user meant something else than what would be done.
    return !(headless && strayWord);
}

ScanOptions scanOptions(const std::string& path) {
    if (!path.empty() && PathText::standardized(path) == "/") return ScanOptions::fullMac();
    ScanOptions options;
    options.includeHidden = true;
    options.useAllocatedSize = true;
    return options;
}

std::string snapshotTitle(const std::string& path) {
    if (!path.empty() && PathText::standardized(path) == "/") return "Macintosh HD";
    return repairUtf8(PathText::lastComponent(path));
}

std::optional<Request> parse(const std::vector<std::string>& arguments) {
    const auto valueAfter = [&](std::string_view flag) -> std::optional<std::string> {
        const auto it = std::find(arguments.begin(), arguments.end(), flag);
        if (it == arguments.end() || it + 1 == arguments.end()) return std::nullopt;
        return *(it + 1);
    };
    if (auto path = valueAfter("--snapshot")) return Request{Request::Command::snapshot, std::move(*path)};
    if (auto path = valueAfter("--scan")) return Request{Request::Command::scan, std::move(*path)};
    return std::nullopt;
}

int run(const Request& request, std::ostream& out, std::ostream& err, const std::string& snapshotFolder) {
    return request.command == Request::Command::snapshot ? captureSnapshot(request.path, out, err, snapshotFolder)
                                                         : scanCommand(request.path, out, err);
}

void runIfRequested(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (!isWellFormed(arguments)) {
        std::cerr << usage << '\n';
        std::cerr.flush();
        ::_exit(2);
    }
    const auto request = parse(arguments);
    if (!request) return;
    const int status = run(*request, std::cout, std::cerr, SnapshotStore::defaultFolder());
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace tallymere::CLI
