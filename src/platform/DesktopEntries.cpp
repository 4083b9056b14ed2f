#include "platform/DesktopEntries.h"

#include "platform/PathGate.h"
#include "platform/UserFolders.h"
#include "platform/gate/GateOps.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <cstdlib>
#include <sys/stat.h>
#include <memory>
#include <optional>
#include <set>

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

namespace {

constexpr std::size_t fieldsPerEntry = 6;

void putEntry(std::vector<std::string>& texts, const DesktopEntry& entry) {
    for (const std::string* field : {&entry.id, &entry.filePath, &entry.name, &entry.iconName, &entry.program,
                                     &entry.appImageVersion})
        texts.push_back(*field);
}

std::vector<DesktopEntry> entriesOf(const std::vector<std::string>& texts) {
    std::vector<DesktopEntry> entries;
    for (std::size_t i = 0; i + fieldsPerEntry <= texts.size(); i += fieldsPerEntry)
        entries.push_back({texts[i], texts[i + 1], texts[i + 2], texts[i + 3], texts[i + 4], texts[i + 5]});
    return entries;
}

// The data folders the library reads launchers from, in its order.
std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    if (const std::string home = UserFolders::dataHome(); !home.empty()) folders.push_back(home);
    for (std::string& folder : UserFolders::systemDataFolders()) folders.push_back(std::move(folder));
    return folders;
}

// The desktop-file IDs below one "applications" folder: the path below it, "/" read as "-".
void collectIds(const std::string& folder, const std::string& prefix, int depth, std::set<std::string>& ids) {
    const PathGate::Listing listing = PathGate::list(folder);
    for (const std::string& name : listing.names) {
        const std::string path = folder + "/" + name;
        if (name.size() > 8 && name.ends_with(".desktop")) {
            ids.insert(prefix + name);
        } else if (const PathGate::Status status = PathGate::lstat(path); depth < 8 && status.error == 0 && S_ISDIR(status.info.st_mode)) {
            collectIds(path, prefix + name + "-", depth + 1, ids);
        }
    }
}

// One launcher at a time, each through the gate within its own bound: a launcher whose program
// lies on a mount that does not answer is left out, and the rest are read.
std::vector<DesktopEntry> listOneByOne() {
    std::set<std::string> ids;
    for (const std::string& folder : dataFolders()) collectIds(folder + "/applications", "", 0, ids);
    std::vector<DesktopEntry> entries;
    for (const std::string& id : ids) {
        gate::Request request;
        gate::provideLauncherCalls();
        request.op = gate::Op::readLauncher;
        request.texts = {id};
        const gate::Reply reply = gate::call(std::move(request));
        if (reply.error) continue;
        for (DesktopEntry& entry : entriesOf(reply.texts)) entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace

std::vector<DesktopEntry> list() {
    // The library reads every launcher at once and looks at each one's program as it goes: made by a
    // helper, within the gate's bound, since a program on a mount that stopped answering would hold
    // whoever reads them. When that does not answer, they are read one by one.
    gate::provideLauncherCalls();
    gate::Request request;
    request.op = gate::Op::listLaunchers;
    const gate::Reply reply = gate::call(std::move(request));
    if (reply.error == PathGate::notAnswering) return listOneByOne();
    return entriesOf(reply.texts);
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
    if (program.find('/') != std::string::npos) return {};
    // Each folder of PATH looked at through the gate: one may lie on a mount that stopped answering.
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder.front() != '/') continue;
        const std::string candidate = folder + "/" + program;
        const PathGate::Status status = PathGate::stat(candidate);
        if (status.error == 0 && S_ISREG(status.info.st_mode) && (status.info.st_mode & 0111)) return candidate;
    }
    return {};
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
            const PathGate::Text read = PathGate::readFile(data + folder + name, 0, 1 << 20);
            if (read.error) continue;
            xml = read.text;
            std::string version = firstReleaseVersion(xml);
            if (!version.empty()) return version;
        }
    return {};
}

} // namespace tallymere::DesktopEntries

namespace tallymere::gate {

namespace {

Reply listLaunchersHere(const Request&) {
    Reply reply;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next)
        if (auto entry = DesktopEntries::shown(G_APP_INFO(item->data))) DesktopEntries::putEntry(reply.texts, *entry);
    g_list_free_full(all, g_object_unref);
    return reply;
}

Reply readLauncherHere(const Request& request) {
    Reply reply;
    if (request.texts.empty()) {
        reply.error = EINVAL;
        return reply;
    }
    // Found by its ID as the library finds it: the first data folder that has it shadows the rest.
    if (GDesktopAppInfo* desktop = g_desktop_app_info_new(request.texts[0].c_str())) {
        if (auto entry = DesktopEntries::shown(G_APP_INFO(desktop))) DesktopEntries::putEntry(reply.texts, *entry);
        g_object_unref(desktop);
    }
    return reply;
}

} // namespace

void provideLauncherCalls() {
    provide(Op::listLaunchers, &listLaunchersHere);
    provide(Op::readLauncher, &readLauncherHere);
}

} // namespace tallymere::gate
