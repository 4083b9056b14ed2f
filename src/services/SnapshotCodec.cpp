#include "services/SnapshotCodec.h"

#include "base/Utf8.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tallymere::SnapshotCodec {
namespace {

using Json = nlohmann::json;

// The format itself nests three levels (snapshot, entries, entry); unknown keys may carry values of
// their own, but nothing legitimate comes near this. Deeper files are refused before parsing.
constexpr int maxNesting = 64;

// The file counts dates in seconds from 1 January 2001, the program from 1 January 1970 (both UTC).
// For every moment from 1985 on the conversion is exact both ways, so a capture loads back equal.
constexpr double secondsFrom1970To2001 = 978307200.0;

void appendString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    const std::string repaired = isValidUtf8(text) ? std::string() : repairUtf8(text);
    const std::string_view valid = repaired.empty() ? text : std::string_view(repaired);
    out += '"';
    for (const char c : valid) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xF];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendDate(std::string& out, double secondsSince1970) {
    if (!std::isfinite(secondsSince1970))
        throw EncodingError("the snapshot's creation date is not a finite number");
    const double seconds = secondsSince1970 - secondsFrom1970To2001;
    // Fixed notation, shortest digits that read back to the same double.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (result.ec != std::errc()) throw EncodingError("the snapshot's creation date cannot be written");
    out.append(buffer, result.ptr);
}

// Whether brackets and braces outside strings stay within maxNesting. Malformed text may pass; the
// parser rejects it.
bool nestingWithinLimit(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > maxNesting) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

const Json* member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool readString(const Json& object, const char* key, std::string& out) {
    const Json* value = member(object, key);
    if (!value || !value->is_string()) return false;
    out = value->get_ref<const std::string&>();
    return true;
}

template <class Integer>
bool readInteger(const Json& object, const char* key, Integer& out) {
    const Json* value = member(object, key);
    if (!value) return false;
    if (value->is_number_unsigned()) {
        const auto n = value->get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) return false;
        out = static_cast<Integer>(n);
        return true;
    }
    if (value->is_number_integer()) {
        const auto n = value->get<std::int64_t>();
        if (n < std::numeric_limits<Integer>::min() || n > std::numeric_limits<Integer>::max()) return false;
        out = static_cast<Integer>(n);
        return true;
    }
    return false;
}

bool readEntry(const Json& object, Snapshot::Entry& entry) {
    if (!object.is_object()) return false;
    if (!readString(object, "path", entry.path)) return false;
    if (!readInteger(object, "size", entry.size)) return false;
    if (!readInteger(object, "files", entry.files)) return false;
    const Json* isDirectory = member(object, "isDirectory");
    if (!isDirectory || !isDirectory->is_boolean()) return false;
    entry.isDirectory = isDirectory->get<bool>();
    return true;
}

} // namespace

std::string encode(const Snapshot& snapshot) {
    std::string out;
    out.reserve(160 + snapshot.entries.size() * 96);
    out += "{\"id\":";
    appendString(out, snapshot.id.text());
    out += ",\"createdAt\":";
    appendDate(out, snapshot.createdAt);
    out += ",\"rootPath\":";
    appendString(out, snapshot.rootPath);
    out += ",\"title\":";
    appendString(out, snapshot.title);
    out += ",\"totalSize\":";
    appendInteger(out, snapshot.totalSize);
    out += ",\"totalFiles\":";
    appendInteger(out, snapshot.totalFiles);
    out += ",\"entries\":[";
    bool first = true;
    for (const auto& entry : snapshot.entries) {
        if (!first) out += ',';
        first = false;
        out += "{\"path\":";
        appendString(out, entry.path);
        out += ",\"size\":";
        appendInteger(out, entry.size);
        out += ",\"files\":";
        appendInteger(out, entry.files);
        out += entry.isDirectory ? ",\"isDirectory\":true}" : ",\"isDirectory\":false}";
    }
    out += "]}";
    return out;
}

std::optional<Snapshot> decode(std::string_view bytes) {
    if (!nestingWithinLimit(bytes)) return std::nullopt;
    const Json root = Json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt; // also a parse error, which gives a discarded value

    Snapshot snapshot;
    std::string idText;
    if (!readString(root, "id", idText)) return std::nullopt;
    const auto id = Uuid::parse(idText);
    if (!id) return std::nullopt;
    snapshot.id = *id;

    const Json* createdAt = member(root, "createdAt");
    if (!createdAt || !createdAt->is_number()) return std::nullopt;
    const double secondsSince2001 = createdAt->get<double>();
    if (!std::isfinite(secondsSince2001)) return std::nullopt;
    snapshot.createdAt = secondsSince2001 + secondsFrom1970To2001;

    if (!readString(root, "rootPath", snapshot.rootPath)) return std::nullopt;
    if (!readString(root, "title", snapshot.title)) return std::nullopt;
    if (!readInteger(root, "totalSize", snapshot.totalSize)) return std::nullopt;
    if (!readInteger(root, "totalFiles", snapshot.totalFiles)) return std::nullopt;

    const Json* entries = member(root, "entries");
    if (!entries || !entries->is_array()) return std::nullopt;
    snapshot.entries.resize(entries->size());
    for (std::size_t i = 0; i < entries->size(); ++i)
        if (!readEntry((*entries)[i], snapshot.entries[i])) return std::nullopt;
    return snapshot;
}

} // namespace tallymere::SnapshotCodec
