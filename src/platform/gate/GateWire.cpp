#include "platform/gate/GateWire.h"

#include <cstring>

namespace tallymere::gate {
namespace {

void putNumber(std::string& out, std::uint64_t value) {
    char bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    out.append(bytes, sizeof bytes);
}

void putText(std::string& out, std::string_view text) {
    putNumber(out, text.size());
    out.append(text);
}

void putTexts(std::string& out, const std::vector<std::string>& texts) {
    putNumber(out, texts.size());
    for (const std::string& text : texts) putText(out, text);
}

// Reads the parts of a message in order; any read past its end fails the rest.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_rest(bytes) {}

    bool number(std::uint64_t& value) {
        if (m_rest.size() < sizeof value) return m_ok = false;
        std::memcpy(&value, m_rest.data(), sizeof value);
        m_rest.remove_prefix(sizeof value);
        return m_ok;
    }
    bool text(std::string& value) {
        std::uint64_t size = 0;
        if (!number(size) || size > m_rest.size()) return m_ok = false;
        value.assign(m_rest.substr(0, size));
        m_rest.remove_prefix(size);
        return m_ok;
    }
    bool texts(std::vector<std::string>& values) {
        std::uint64_t count = 0;
        // Each text takes at least its length's 8 bytes, so a count beyond that is no message.
        if (!number(count) || count > m_rest.size() / 8) return m_ok = false;
        values.resize(count);
        for (std::string& value : values)
            if (!text(value)) return false;
        return m_ok;
    }
    bool finished() const { return m_ok && m_rest.empty(); }

private:
    std::string_view m_rest;
    bool m_ok = true;
};

} // namespace

std::string encode(const Request& request) {
    std::string out;
    putNumber(out, static_cast<std::uint64_t>(request.op));
    putNumber(out, request.number);
    putNumber(out, request.limit);
    putTexts(out, request.texts);
    return out;
}

std::string encode(const Reply& reply) {
    std::string out;
    putNumber(out, static_cast<std::uint64_t>(static_cast<std::int64_t>(reply.error)));
    putNumber(out, reply.partial ? 1 : 0);
    putTexts(out, reply.texts);
    putText(out, reply.data);
    return out;
}

bool decode(std::string_view bytes, Request& request) {
    Reader reader(bytes);
    std::uint64_t op = 0;
    if (!reader.number(op) || op > static_cast<std::uint64_t>(lastOp)) return false;
    request.op = static_cast<Op>(op);
    return reader.number(request.number) && reader.number(request.limit) && reader.texts(request.texts) &&
           reader.finished();
}

bool decode(std::string_view bytes, Reply& reply) {
    Reader reader(bytes);
    std::uint64_t error = 0;
    if (!reader.number(error)) return false;
    reply.error = static_cast<int>(static_cast<std::int64_t>(error));
    std::uint64_t partial = 0;
    if (!reader.number(partial) || partial > 1) return false;
    reply.partial = partial == 1;
    return reader.texts(reply.texts) && reader.text(reply.data) && reader.finished();
}

std::string framed(const std::string& message) {
    std::string out;
    out.reserve(8 + message.size());
    putNumber(out, message.size());
    out.append(message);
    return out;
}

std::uint64_t frameLength(std::string_view received) {
    if (received.size() < 8) return 0;
    std::uint64_t length = 0;
    std::memcpy(&length, received.data(), sizeof length);
    return length;
}

} // namespace tallymere::gate
