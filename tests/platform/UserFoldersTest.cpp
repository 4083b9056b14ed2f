#include "platform/UserFolders.h"
#include "support/DeadFuse.h"
#include "support/TempFolder.h"
#include "support/EndsWithin.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace tallymere {
namespace {

// A writer that stands ready at a pipe to hand whoever opens it for reading `text`; finish() lets
// it go whether or not anything read, so the test ends either way.
class PipeWriter {
public:
    PipeWriter(std::string path, std::string text) : m_path(std::move(path)) {
        EXPECT_EQ(::mkfifo(m_path.c_str(), 0600), 0);
        m_thread = std::thread([this, text = std::move(text)] {
            // A reader that leaves at once gives EPIPE, not a signal that ends the test.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            const int fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) return;
            [[maybe_unused]] const auto written = ::write(fd, text.data(), text.size());
            ::close(fd);
        });
    }
    ~PipeWriter() {
        const int release = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_thread.join();
        if (release >= 0) ::close(release);
    }

private:
    std::string m_path;
    std::thread m_thread;
};

class UserFoldersFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            if (const char* value = std::getenv(name)) m_saved[name] = value;
        ::setenv("HOME", m_dir.folder("home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_dir.folder("config").c_str(), 1);
        m_dir.folder("home/.config");
    }
    void TearDown() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            if (const auto found = m_saved.find(name); found != m_saved.end()) ::setenv(name, found->second.c_str(), 1);
            else ::unsetenv(name);
        }
    }
    test::TempFolder m_dir{"tm-folders"};
    std::map<std::string, std::string> m_saved;
};

TEST_F(UserFoldersFiles, AHomeOrFolderThatIsNoneOfTheUsersOwnIsLeftForTheUsualOne) {
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string listed = entry->pw_dir;
    for (const char* given : {"", "relative/home", "/", "//"}) {
        ::setenv("HOME", given, 1);
        EXPECT_EQ(UserFolders::home(), listed) << '"' << given << '"';
    }
    ::unsetenv("HOME");
    EXPECT_EQ(UserFolders::home(), listed);
    ::setenv("HOME", "/srv/al//", 1);
    EXPECT_EQ(UserFolders::home(), "/srv/al");
    // Nor is "/" anyone's configuration or data folder.
    ::setenv("XDG_CONFIG_HOME", "//", 1);
    ::setenv("XDG_DATA_HOME", "/", 1);
    EXPECT_EQ(UserFolders::configHome(), "/srv/al/.config");
    EXPECT_EQ(UserFolders::dataHome(), "/srv/al/.local/share");
    ::setenv("XDG_DATA_HOME", "/data/al/", 1);
    EXPECT_EQ(UserFolders::dataHome(), "/data/al");
}

TEST_F(UserFoldersFiles, APipeWhereTheNamedFoldersListBelongsIsNeitherWaitedOnNorRead) {
    std::ofstream(m_dir / "home/.config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
    std::vector<std::string> folders;
    {
        PipeWriter writer(m_dir / "config/user-dirs.dirs", "XDG_VIDEOS_DIR=\"/planted\"\n");
        folders = UserFolders::namedFolders();
    }
    EXPECT_EQ(std::count(folders.begin(), folders.end(), "/planted"), 0);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), m_dir / "home/Tunes"), 1);
}

// A home and a configuration folder on a mount that never answers are taken as written, within the
// gate's bound, where asking for the home's real path or the named folders (for labels, the Trash,
// the Applications tab's folders) held the asker for as long as the mount stayed stuck; and the
// process that asked can end.
TEST(UserFoldersBound, AHomeOnAMountThatNeverAnswersIsTakenAsWritten) {
    test::TempFolder dir;
    const std::string dead = dir.folder("homes");
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) ::_exit(77);
        ::setenv("HOME", (dead + "/./me/").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dead + "/config").c_str(), 1);
        const bool ended = test::endsWithin(30, [&] {
            EXPECT_EQ(UserFolders::physicalHome(), dead + "/me");
            EXPECT_EQ(UserFolders::namedFolders().size(), 8u) << "the usual ones, with no list read";
        });
        EXPECT_TRUE(ended) << "a process that resolved the home could not end";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

} // namespace
} // namespace tallymere
