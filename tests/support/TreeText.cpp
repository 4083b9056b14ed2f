#include "support/TreeText.h"

#include <charconv>
#include <stdexcept>
#include <string>
#include <vector>

namespace tallymere::test {
namespace {

std::int64_t number(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument("bad number in tree text: " + std::string(text));
    return value;
}

} // namespace

std::shared_ptr<FileNode> treeFromText(std::string_view text) {
    auto tree = std::make_shared<FileTree>();
    struct Open {
        FileNode* node;
        int indent;
        std::vector<FileNode*> children;
        bool listed;
    };
    std::vector<Open> stack;
    auto close = [&](Open& open) {
        if (open.listed) tree->arena.setChildren(*open.node, open.children);
    };

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string_view::npos) continue;
        const int indent = static_cast<int>(first);
        line.remove_prefix(first);

        std::vector<std::string_view> words;
        std::size_t i = 0;
        while (i < line.size()) {
            const std::size_t next = line.find(' ', i);
            const std::size_t stop = next == std::string_view::npos ? line.size() : next;
            if (stop > i) words.push_back(line.substr(i, stop - i));
            i = stop + 1;
        }
        std::string_view name = words.front();
        const bool isFolder = !name.empty() && name.back() == '/';
        if (isFolder && name != "/") name.remove_suffix(1);
        bool isPackage = false;
        const FileCategory category = stack.empty() ? FileCategory::folder
                                      : isFolder    ? classifyDirectory(name, isPackage)
                                                    : classifyFile(name);
        FileNode* node = tree->arena.makeNode(name, isFolder, category);
        node->isPackage = isPackage;
        bool denied = false, allocatedGiven = false;
        for (std::size_t w = 1; w < words.size(); ++w) {
            std::string_view word = words[w];
            if (word == "denied") denied = true;
            else if (word == "link") {
                node->isSymlink = true;
                node->category = FileCategory::data;
            } else if (word == "package") node->isPackage = true;
            else if (word.starts_with("alloc=")) {
                node->allocated = number(word.substr(6));
                allocatedGiven = true;
            } else if (word.starts_with("mtime=")) node->modified = static_cast<double>(number(word.substr(6)));
            else if (word.starts_with("ctime=")) node->created = static_cast<double>(number(word.substr(6)));
            else node->size = number(word);
        }
        if (!allocatedGiven) node->allocated = node->size;
        if (!isFolder) node->fileCount = 1;
        node->isDenied = denied;

        while (!stack.empty() && stack.back().indent >= indent) {
            close(stack.back());
            stack.pop_back();
        }
        if (!stack.empty()) stack.back().children.push_back(node);
        else if (tree->root) throw std::invalid_argument("tree text has two roots");
        else tree->root = node;
        if (isFolder || stack.empty()) stack.push_back({node, indent, {}, !denied && isFolder});
    }
    while (!stack.empty()) {
        close(stack.back());
        stack.pop_back();
    }
    if (!tree->root) throw std::invalid_argument("empty tree text");
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return shareRoot(tree);
}

std::string dumpTree(const FileNode& root) {
    std::string out;
    root.walk([&](const FileNode& node) {
        out.append(static_cast<std::size_t>(2 * (node.depth - root.depth)), ' ');
        out.append(node.name());
        if (node.isDirectory) out.push_back('/');
        out += " " + std::to_string(node.size) + " " + std::to_string(node.allocated) + " " +
               std::to_string(node.fileCount) + "/" + std::to_string(node.folderCount) + "\n";
        return true;
    });
    return out;
}

const FileNode* childNamed(const FileNode& folder, std::string_view name) {
    for (const FileNode* node : folder.children())
        if (node->name() == name) return node;
    return nullptr;
}

} // namespace tallymere::test
