#include "platform/DesktopEntries.h"

#include "platform/ProcReader.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>
#include <optional>

namespace tallymere::DesktopEntries {

namespace {

std::string taken(char* text) {
    if (!text) return {};
    std::string result(text);
    g_free(text);
    return result;
}

std::string borrowed(const char* text) { return text ? std::string(text) : std::string(); }

// The value of the first `version="..."` inside the first `<release` element; AppStream lists
// releases newest first.
std::string firstReleaseVersion(const std::string& xml) {
    const auto releases = xml.find("<releases");
    const auto release = xml.find("<release ", releases == std::string::npos ? 0 : releases);
    if (release == std::string::npos) return {};
    const auto close = xml.find('>', release);
    const std::string element = xml.substr(release, close == std::string::npos ? std::string::npos : close - release);
    for (const char quote : {'"', '\''}) {
        const std::string key = std::string("version=") + quote;
        const auto at = element.find(key);
        if (at == std::string::npos) continue;
        const auto start = at + key.size();
        const auto end = element.find(quote, start);
        if (end != std::string::npos) return element.substr(start, end - start);
    }
    return {};
}

// The program an Exec line runs: its first word with the shell's quoting rules the format uses.
std::string programOfExec(const std::string& exec) {
    if (exec.empty()) return {};
    gint argc = 0;
    gchar** argv = nullptr;
    std::string program;
    if (g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr) && argc > 0) program = argv[0];
    g_strfreev(argv);
    return program;
}

} // namespace

namespace {

// The launcher as the library reads it, or nothing when it is hidden from menus (Hidden, NoDisplay,
// or limited to other desktops).
std::optional<DesktopEntry> shown(GAppInfo* info) {
    if (!G_IS_DESKTOP_APP_INFO(info)) return std::nullopt;
    auto* desktop = G_DESKTOP_APP_INFO(info);
    if (g_desktop_app_info_get_is_hidden(desktop) || g_desktop_app_info_get_nodisplay(desktop) ||
        !g_app_info_should_show(info))
        return std::nullopt;
    DesktopEntry entry;
    entry.id = borrowed(g_app_info_get_id(info));
    entry.filePath = borrowed(g_desktop_app_info_get_filename(desktop));
    entry.name = borrowed(g_app_info_get_name(info));
    entry.iconName = taken(g_desktop_app_info_get_string(desktop, "Icon"));
    entry.program = taken(g_desktop_app_info_get_string(desktop, "TryExec"));
    if (entry.program.empty()) entry.program = programOfExec(taken(g_desktop_app_info_get_string(desktop, "Exec")));
    entry.appImageVersion = taken(g_desktop_app_info_get_string(desktop, "X-AppImage-Version"));
    if (entry.filePath.empty()) return std::nullopt;
    return entry;
}

} // namespace

std::vector<DesktopEntry> list() {
    std::vector<DesktopEntry> entries;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next)
        if (auto entry = shown(G_APP_INFO(item->data))) entries.push_back(std::move(*entry));
    g_list_free_full(all, g_object_unref);
    return entries;
}

std::optional<DesktopEntry> read(const std::string& filePath, const std::string& id) {
    GDesktopAppInfo* desktop = g_desktop_app_info_new_from_filename(filePath.c_str());
    if (!desktop) return std::nullopt;
    std::optional<DesktopEntry> entry = shown(G_APP_INFO(desktop));
    g_object_unref(desktop);
    if (entry) entry->id = id;
    return entry;
}

std::string resolveProgram(const std::string& program) {
    if (program.empty()) return {};
    if (program.front() == '/') return program;
    return taken(g_find_program_in_path(program.c_str()));
}

std::string appStreamVersion(const std::string& desktopFilePath, const std::string& desktopId) {
    // <data>/applications/<id>.desktop (possibly in a subfolder) beside <data>/metainfo.
    const auto marker = desktopFilePath.rfind("/applications/");
    if (marker == std::string::npos) return {};
    const std::string data = desktopFilePath.substr(0, marker);
    std::string stem = desktopId;
    if (stem.ends_with(".desktop")) stem.resize(stem.size() - 8);
    std::string xml;
    for (const char* folder : {"/metainfo/", "/appdata/"})
        for (const std::string& name : {stem + ".metainfo.xml", stem + ".appdata.xml", desktopId + ".metainfo.xml",
                                        desktopId + ".appdata.xml"}) {
            if (!ProcReader::readFile((data + folder + name).c_str(), xml, 1 << 20)) continue;
            std::string version = firstReleaseVersion(xml);
            if (!version.empty()) return version;
        }
    return {};
}

} // namespace tallymere::DesktopEntries
