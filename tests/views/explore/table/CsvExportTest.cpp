#include "views/explore/table/CsvExport.h"

#include "core/FileTree.h"
#include "support/TempFolder.h"
#include "support/TreeText.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tallymere {
namespace {

using Record = std::vector<std::string>;

// RFC 4180 as a spreadsheet reads it: quoted fields may hold commas, quotes (doubled) and line
// breaks; records end at a line feed outside quotes.
std::vector<Record> parseCsv(const std::string& text) {
    std::vector<Record> records;
    Record record;
    std::string field;
    bool quoted = false, fieldStarted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field.push_back('"'), ++i;
            else if (c == '"') quoted = false;
            else field.push_back(c);
        } else if (c == '"' && field.empty()) {
            quoted = fieldStarted = true;
        } else if (c == ',') {
            record.push_back(field), field.clear(), fieldStarted = false;
        } else if (c == '\n') {
            record.push_back(field), field.clear(), fieldStarted = false;
            records.push_back(record), record.clear();
        } else {
            field.push_back(c), fieldStarted = true;
        }
    }
    EXPECT_TRUE(record.empty() && field.empty() && !fieldStarted) << "the last line has no line feed";
    return records;
}

struct Fixture {
    std::shared_ptr<FileTree> tree = std::make_shared<FileTree>();
    std::vector<const FileNode*> rows;
};

Fixture awkwardNames() {
    Fixture f;
    NodeArena& arena = f.tree->arena;
    FileNode* root = arena.makeNode("/data/My, \"Stuff\"", true, FileCategory::folder);
    std::vector<FileNode*> children;
    for (std::string_view name : {std::string_view("a,b.jpg"), std::string_view("say \"hi\".txt"),
                                  std::string_view("line\nbreak"), std::string_view("cr\rlf\r\n"),
                                  std::string_view("  leading space"), std::string_view("bad\xff\xfe.mp3")}) {
        FileNode* node = arena.makeNode(name, false, classifyFile(name));
        node->size = 1234567890123;
        node->allocated = 4096;
        node->fileCount = 1;
        node->modified = 1700000000;
        children.push_back(node);
    }
    FileNode* pkg = arena.makeNode("Tool.app", true, FileCategory::app);
    pkg->isPackage = true;
    pkg->size = -1; // damaged input still prints as a plain signed number
    pkg->fileCount = 2147483647;
    children.push_back(pkg);
    arena.setChildren(*root, children);
    f.tree->root = root;
    for (const FileNode* child : root->children()) f.rows.push_back(child);
    return f;
}

std::string dateStub(double seconds) { return "at " + std::to_string(static_cast<long long>(seconds)); }

TEST(CsvExportText, EveryAwkwardNameSurvivesARoundTrip) {
    const Fixture f = awkwardNames();
    const std::string text = CsvExport::text(f.rows, dateStub);
    EXPECT_EQ(text.substr(0, text.find('\n')), "path,name,bytes,allocated,files,kind,modified");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("\r\n\""), text.find("cr\rlf\r\n") + 5); // line breaks in names kept as they are

    const auto records = parseCsv(text);
    ASSERT_EQ(records.size(), 1 + f.rows.size());
    const std::vector<std::string> expectedNames = {"a,b.jpg",         "say \"hi\".txt", "line\nbreak", "cr\rlf\r\n",
                                                    "  leading space", "bad\uFFFD\uFFFD.mp3", "Tool.app"};
    for (std::size_t i = 0; i < f.rows.size(); ++i) {
        const Record& r = records[i + 1];
        ASSERT_EQ(r.size(), 7u) << i;
        EXPECT_EQ(r[1], expectedNames[i]);
        EXPECT_EQ(r[0], "/data/My, \"Stuff\"/" + expectedNames[i]);
    }
    EXPECT_EQ(records[1][2], "1234567890123");
    EXPECT_EQ(records[1][3], "4096");
    EXPECT_EQ(records[1][4], "1");
    EXPECT_EQ(records[1][5], "Image");
    EXPECT_EQ(records[1][6], "at 1700000000");
    EXPECT_EQ(records[7][2], "-1");
    EXPECT_EQ(records[7][4], "2147483647");
    EXPECT_EQ(records[7][5], "Folder"); // a package is a folder here
    // Only the numbers go unquoted.
    EXPECT_NE(text.find(",1234567890123,4096,1,\"Image\",\"at 1700000000\"\n"), std::string::npos);

    EXPECT_EQ(CsvExport::text({}, dateStub), "path,name,bytes,allocated,files,kind,modified\n");
}

TEST(CsvExportText, SuggestedNameFlattensSlashes) {
    auto root = test::treeFromText("/Volumes/Data/Music/\n  Photos/\n");
    EXPECT_EQ(CsvExport::suggestedName(*root), "_Volumes_Data_Music-Tallymere.csv");
    EXPECT_EQ(CsvExport::suggestedName(*root->children()[0]), "Photos-Tallymere.csv");
    auto disk = test::treeFromText("/\n");
    EXPECT_EQ(CsvExport::suggestedName(*disk), "_-Tallymere.csv");
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

TEST(CsvExportWrite, ReplacesWholeOrLeavesTheOldFileAndSaysWhy) {
    test::TempFolder folder("tallymere-csv");
    const std::string target = folder / "out.csv";
    ASSERT_FALSE(CsvExport::write(QString::fromStdString(target), "first\n"));
    ASSERT_FALSE(CsvExport::write(QString::fromStdString(target), "second\n"));
    EXPECT_EQ(readAll(target), "second\n");

    // A write that runs out of room (a file-size limit stands in for a full disk, and holds for
    // root too): the reason is the system's, and the old file is untouched.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto failure = CsvExport::write(QString::fromStdString(target), std::string(1 << 20, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(readAll(target), "second\n");

    // A folder in the way: nothing replaces it, and the failure is reported.
    folder.file("taken.csv/keep", 3);
    const auto blocked = CsvExport::write(QString::fromStdString(folder / "taken.csv"), "x\n");
    ASSERT_TRUE(blocked.has_value());
    EXPECT_EQ(readAll(folder / "taken.csv/keep").size(), 3u);
    // A missing folder.
    EXPECT_TRUE(CsvExport::write(QString::fromStdString(folder / "no/such/out.csv"), "x\n").has_value());

    // A pipe at the path, or a link to one, stays a pipe; a link to a regular file is written through.
    const std::string pipe = folder / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(pipe.c_str(), (folder / "to-pipe.csv").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), (folder / "to-file.csv").c_str()), 0);
    EXPECT_EQ(CsvExport::write(QString::fromStdString(pipe), "x\n"), QStringLiteral("it is not a regular file"));
    EXPECT_EQ(CsvExport::write(QString::fromStdString(folder / "to-pipe.csv"), "x\n"),
              QStringLiteral("it is not a regular file"));
    struct stat after {};
    ASSERT_EQ(::lstat(pipe.c_str(), &after), 0);
    EXPECT_TRUE(S_ISFIFO(after.st_mode));
    EXPECT_FALSE(CsvExport::write(QString::fromStdString(folder / "to-file.csv"), "third\n"));
    EXPECT_EQ(readAll(target), "third\n");
}

} // namespace
} // namespace tallymere
