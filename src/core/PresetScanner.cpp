#include "core/PresetScanner.h"
#include "base/Saturating.h"

#include "base/PathText.h"

#include "core/FileTree.h"

#include <array>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tallymere::PresetScanner {
namespace {

// The operating system's own folders, as path components; "lib*" stands for every top-level
// folder whose name begins with "lib". Nothing inside them is ever offered for cleanup.
const std::array<std::vector<std::string_view>, 10> systemFolders = {{
    {"usr"}, {"etc"}, {"bin"}, {"sbin"}, {"lib*"}, {"boot"}, {"opt"}, {"var", "lib"}, {"snap"}, {"srv"},
}};

bool componentMatches(std::string_view pattern, std::string_view name) {
    if (pattern.ends_with('*')) return name.starts_with(pattern.substr(0, pattern.size() - 1));
    return name == pattern;
}

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < path.size()) {
        const std::size_t slash = path.find('/', i);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > i) parts.push_back(path.substr(i, end - i));
        i = end + 1;
    }
    return parts;
}

// Whether the root lies inside a system folder; otherwise fills `skipped` with the system folders
// found below the root, which the walk then leaves out.
bool rootIsInsideSystemFolder(const FileNode& root, std::unordered_set<const FileNode*>& skipped) {
    const std::string rootPath = root.path();
    const std::vector<std::string_view> rootParts = components(rootPath);
    for (const auto& folder : systemFolders) {
        std::size_t common = 0;
        while (common < rootParts.size() && common < folder.size() &&
               componentMatches(folder[common], rootParts[common]))
            ++common;
        if (common == folder.size()) return true;
        if (common < rootParts.size()) continue;
        // The root is an ancestor of this system folder: find its nodes (a pattern may name several).
        std::vector<const FileNode*> level{&root};
        for (std::size_t k = common; k < folder.size(); ++k) {
            std::vector<const FileNode*> next;
            for (const FileNode* node : level)
                for (const FileNode* child : node->children())
                    if (child->isDirectory && componentMatches(folder[k], child->name())) next.push_back(child);
            level = std::move(next);
        }
        skipped.insert(level.begin(), level.end());
    }
    return false;
}

bool isInsideFolder(std::string_view path, std::string_view folder) {
    if (folder.empty()) return false;
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    if (folder == "/") return path.starts_with('/');
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>()(text); }
};

using Index = std::unordered_map<std::string, std::vector<std::size_t>, TransparentHash, std::equal_to<>>;

// The lower-cased text after the last "."; empty without a dot or when the dot comes first.
std::string_view lowerExtension(std::string_view name, std::array<char, 32>& buffer) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    const std::string_view after = name.substr(dot + 1);
    if (after.size() > buffer.size()) return {};
    for (std::size_t i = 0; i < after.size(); ++i) {
        const char c = after[i];
        buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return {buffer.data(), after.size()};
}

} // namespace

std::vector<PresetHit> run(const std::shared_ptr<FileNode>& root, const std::vector<CleanupPreset>& presets,
                           bool useAllocated, const std::function<bool(const FileNode&)>& leaveOut) {
    if (!root || presets.empty()) return {};
    std::unordered_set<const FileNode*> skipped;
    if (rootIsInsideSystemFolder(*root, skipped)) return {};

    // One lookup per node serves every preset: names and extensions map to the presets that list them.
    Index byName, byExtension, byPlaceName;
    for (std::size_t p = 0; p < presets.size(); ++p) {
        for (const std::string& name : presets[p].directoryNames) byName[name].push_back(p);
        for (const std::string& place : presets[p].directoryPaths) byPlaceName[PathText::lastComponent(place)].push_back(p);
        for (const std::string& extension : presets[p].extensions) byExtension[extension].push_back(p);
    }

    std::vector<std::vector<const FileNode*>> matches(presets.size());
    std::vector<const FileNode*> stack{root.get()};
    std::array<char, 32> extensionBuffer{};
    std::string path;
    while (!stack.empty()) {
        const FileNode* node = stack.back();
        stack.pop_back();
        if (!skipped.empty() && skipped.count(node)) continue;

        bool matchedFolder = false;
        if (node->isDirectory) {
            if (const auto found = byName.find(node->name()); found != byName.end()) {
                path.clear();
                for (std::size_t p : found->second) {
                    const CleanupPreset& preset = presets[p];
                    if (preset.pathContains || preset.pathPrefix) {
                        if (path.empty()) path = node->path();
                        if (preset.pathContains && path.find(*preset.pathContains) == std::string::npos) continue;
                        if (preset.pathPrefix && !isInsideFolder(path, *preset.pathPrefix)) continue;
                    }
                    matches[p].push_back(node);
                    matchedFolder = true;
                }
            }
            // Folders known by place: the full path is built only for a node with the right name.
            if (const auto found = byPlaceName.find(node->name()); found != byPlaceName.end()) {
                const std::string place = node->path();
                for (std::size_t p : found->second) {
                    if (!presets[p].directoryPaths.contains(place)) continue;
                    if (!matches[p].empty() && matches[p].back() == node) continue; // found by name already
                    matches[p].push_back(node);
                    matchedFolder = true;
                }
            }
        } else if (!byExtension.empty()) {
            const std::string_view extension = lowerExtension(node->name(), extensionBuffer);
            if (!extension.empty())
                if (const auto found = byExtension.find(extension); found != byExtension.end())
                    for (std::size_t p : found->second) matches[p].push_back(node);
        }
        if (matchedFolder || node->isPackage) continue;
        const auto children = node->children();
        stack.insert(stack.end(), children.begin(), children.end());
    }

    std::vector<PresetHit> hits;
    for (std::size_t p = 0; p < presets.size(); ++p) {
        std::vector<const FileNode*>& list = matches[p];
        // Left out before the cut, so that the total holds none of them beyond the kept nodes either.
        if (leaveOut) std::erase_if(list, [&](const FileNode* node) { return leaveOut(*node); });
        if (list.empty()) continue;
        std::stable_sort(list.begin(), list.end(), [useAllocated](const FileNode* a, const FileNode* b) {
            return a->bytes(useAllocated) > b->bytes(useAllocated);
        });
        PresetHit hit{.id = Uuid::random(), .preset = presets[p]};
        for (const FileNode* node : list) hit.total = saturatingAdd(hit.total, node->bytes(useAllocated));
        const std::size_t kept = std::min(list.size(), maxNodesPerHit);
        hit.nodes.reserve(kept);
        for (std::size_t i = 0; i < kept; ++i) hit.nodes.push_back(share(root, list[i]));
        hits.push_back(std::move(hit));
    }
    std::stable_sort(hits.begin(), hits.end(), [](const PresetHit& a, const PresetHit& b) { return a.total > b.total; });
    return hits;
}

} // namespace tallymere::PresetScanner
