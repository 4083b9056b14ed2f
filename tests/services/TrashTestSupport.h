#pragma once
// What the Trash tests share: a scratch folder with a data home of its own, and small file helpers.
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace tallymere::test {

namespace fs = std::filesystem;

inline std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Why a mount a test needs was refused, with the system's reason.
inline std::string cannotMount(const std::string& what) { return "cannot mount " + what + " here (" + std::strerror(errno) + ")"; }

// A scratch folder with its own data home, so the home Trash is <scratch>/data/Trash.
class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("XDG_DATA_HOME");
        m_previous = previous ? std::optional<std::string>(previous) : std::nullopt;
        setenv("XDG_DATA_HOME", (m_scratch / "data").c_str(), 1);
        fs::create_directories(m_scratch / "src");
    }
    void TearDown() override {
        if (m_previous) setenv("XDG_DATA_HOME", m_previous->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }

    fs::path makeFile(const std::string& relative, const std::string& text = "x") {
        const fs::path path = m_scratch / "src" / relative;
        fs::create_directories(path.parent_path());
        writeText(path, text);
        return path;
    }
    fs::path trash() const { return m_scratch / "data" / "Trash"; }

    TempFolder m_temp{"tm-trash"};
    // Physical, as a scan's paths are: a link on the way to the items would refuse every move.
    fs::path m_scratch = fs::canonical(m_temp.path());
    std::optional<std::string> m_previous;
};

} // namespace tallymere::test
