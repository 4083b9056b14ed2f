#include "cli/CLI.h"

#include "core/ByteFormat.h"
#include "core/DiskScanner.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "services/SnapshotStore.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
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
    auto root = DiskScanner::scan(path, options, progress);
    if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!root) err << "cannot stat " << path << '\n' << std::flush;
    return root;
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
    out << "scanned " << path << " in " << twoDecimals(seconds) << "s\n";
    out << "  size      " << ByteFormat::string(root->size, false) << "  (" << std::to_string(root->size)
        << " bytes)\n";
    out << "  allocated " << ByteFormat::string(root->allocated, false) << '\n';
    out << "  files     " << ByteFormat::count(root->fileCount) << "  folders " << ByteFormat::count(root->folderCount)
        << '\n';
    out << "  top children:\n";
    const auto children = root->sortedChildren(false);
    for (std::size_t i = 0; i < std::min(children.size(), topChildren); ++i) {
        const FileNode& child = *children[i];
        out << "    " << padRight(child.displayName(), 42) << ' ' << padLeft(ByteFormat::string(child.size, false), 12)
            << ' ' << (child.isDirectory ? std::string_view("dir") : FileCategories::title(child.category)) << '\n';
    }
    return 0;
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
    out << "snapshot " << snapshot.id.text() << " \u2014 " << snapshot.title << ", "
        << ByteFormat::string(snapshot.totalSize, false) << ", " << std::to_string(snapshot.entries.size())
        << " entries\n";
    return 0;
}

} // namespace

ScanOptions scanOptions(const std::string& path) {
    if (path == "/") return ScanOptions::fullMac();
    ScanOptions options;
    options.includeHidden = true;
    options.useAllocatedSize = true;
    return options;
}

std::string snapshotTitle(const std::string& path) {
    return path == "/" ? "Macintosh HD" : repairUtf8(PathText::lastComponent(path));
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
    const auto request = parse(arguments);
    if (!request) return;
    const int status = run(*request, std::cout, std::cerr, SnapshotStore::defaultFolder());
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace tallymere::CLI
