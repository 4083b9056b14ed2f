#include "services/ProcessList.h"

#include <charconv>
#include <cmath>

namespace tallymere::ProcessList {

namespace {

// from_chars reads no leading "+", which the integer and decimal forms accept.
std::string_view dropPlus(std::string_view field) {
    if (field.size() > 1 && field.front() == '+' && field[1] != '-' && field[1] != '+') field.remove_prefix(1);
    return field;
}

template <typename Integer>
std::optional<Integer> parseInteger(std::string_view field) {
    field = dropPlus(field);
    Integer value{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, 10);
    if (error != std::errc() || end != field.data() + field.size() || field.empty()) return std::nullopt;
    return value;
}

// A finite decimal number: a NaN or infinite share would reach the texts and the painter.
std::optional<double> parseDecimal(std::string_view field) {
    field = dropPlus(field);
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || field.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t space = line.find(' ', start);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        if (end > start) result.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::string_view lastComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view firstWord(std::string_view text) { return text.substr(0, text.find(' ')); }

} // namespace

std::string wholeName(std::string_view printed, const ProcReader::ProgramNames& names) {
    if (printed.size() != kernelNameLength) return std::string(printed);
    const std::string_view argument = names.firstArgument;
    for (const std::string_view candidate : {lastComponent(names.executable), lastComponent(firstWord(argument)),
                                             firstWord(lastComponent(argument))})
        if (candidate.size() > printed.size() && candidate.starts_with(printed)) return std::string(candidate);
    return std::string(printed);
}

void completeNames(std::vector<ProcessSample>& samples, const std::string& procRoot) {
    for (ProcessSample& sample : samples)
        if (sample.name.size() == kernelNameLength)
            sample.name = wholeName(sample.name, ProcReader::programNames(sample.pid, procRoot));
}

std::vector<std::string> listerCommand() { return {"/bin/ps", "-Ao", "pid=,pcpu=,rss=,comm=", "--sort=-pcpu"}; }

std::vector<ProcessSample> parse(std::string_view text) {
    std::vector<ProcessSample> samples;
    std::size_t lines = 0;
    std::size_t start = 0;
    while (start < text.size() && lines < maxLines) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        ++lines;
        const auto parts = fields(line);
        if (parts.size() < 4) continue;
        const auto pid = parseInteger<std::int32_t>(parts[0]);
        const auto percent = parseDecimal(parts[1]);
        const auto kibibytes = parseInteger<std::int64_t>(parts[2]);
        if (!pid || !percent || !kibibytes) continue;
        ProcessSample sample{.pid = *pid, .cpu = *percent / 100, .residentBytes = 0};
        // A shift that drops the bits above 64 rather than overflowing.
        sample.residentBytes = std::int64_t(std::uint64_t(*kibibytes) << 10);
        for (std::size_t i = 3; i < parts.size(); ++i) {
            if (i > 3) sample.name += ' ';
            sample.name += parts[i];
        }
        samples.push_back(std::move(sample));
    }
    return samples;
}

std::optional<std::vector<ProcessSample>> fromOutput(const CommandOutput& output) {
    switch (output.status) {
    case CommandOutput::Status::timedOut: return std::nullopt;
    case CommandOutput::Status::notStarted: return std::vector<ProcessSample>{};
    case CommandOutput::Status::finished: break;
    }
    return parse(output.text);
}

std::optional<std::vector<ProcessSample>> sample() {
    std::optional<std::vector<ProcessSample>> samples = fromOutput(CommandRunner::run(listerCommand(), listerTimeout));
    if (samples) completeNames(*samples);
    return samples;
}

} // namespace tallymere::ProcessList
