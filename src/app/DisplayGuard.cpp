#include "app/DisplayGuard.h"

#include "base/Utf8.h"

#include <QApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <unistd.h>

namespace tallymere::DisplayGuard {
namespace {

// The value after the last of the two spellings of a toolkit option (the last one is what counts).
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, std::string_view name) {
    std::optional<std::string> value;
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == std::string("-").append(name) || arguments[i] == std::string("--").append(name))
            value = arguments[i + 1];
    return value;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A message the toolkit printed while starting, kept until it is known whether it started.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// The message handler is a plain function, so what it needs lives here, only while the
// application object is being made (one thread, before any other exists).
std::vector<HeldMessage>* held = nullptr;
const std::string* failureLine = nullptr;

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // The toolkit aborts right after this; the one line and a plain exit status say enough.
        std::fputs(failureLine->c_str(), stderr);
        std::fflush(nullptr);
        ::_exit(1);
    }
    held->push_back({type, context.category ? context.category : "", text});
}

} // namespace

std::string describe(const std::vector<std::string>& arguments) {
    const std::string platform = optionValue(arguments, "platform").value_or(environment("QT_QPA_PLATFORM"));
    // "name:options", or a list of names to try ("wayland;xcb"): the first name is tried first.
    std::string name = platform.substr(0, platform.find_first_of(":;"));
    if (name.empty()) name = environment("DISPLAY").empty() && !environment("WAYLAND_DISPLAY").empty() ? "wayland" : "xcb";
    if (name == "xcb") {
        const std::string display = optionValue(arguments, "display").value_or(environment("DISPLAY"));
        return display.empty() ? "(DISPLAY is not set)" : oneLine(display);
    }
    if (name.starts_with("wayland")) {
        const std::string socket = environment("WAYLAND_DISPLAY");
        return socket.empty() ? "wayland-0" : oneLine(socket);
    }
    return "of the platform \"" + oneLine(name) + "\"";
}

std::unique_ptr<QApplication> makeApplication(int& argc, char** argv) {
    std::vector<HeldMessage> messages;
    const std::string line = "tallymere: cannot open the display " + describe({argv, argv + argc}) + "\n";
    held = &messages;
    failureLine = &line;
    const QtMessageHandler previous = qInstallMessageHandler(holdBack);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    held = nullptr;
    failureLine = nullptr;
    for (const HeldMessage& message : messages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        previous(message.type, context, message.text);
    }
    return application;
}

} // namespace tallymere::DisplayGuard
