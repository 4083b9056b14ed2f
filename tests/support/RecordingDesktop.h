#pragma once
#include "base/DesktopActions.h"

#include <optional>
#include <string>
#include <vector>

namespace tallymere::test {

// A desktop that only remembers what it was asked to do, for `state.setDesktop(&desktop)`.
class RecordingDesktop : public DesktopActions {
public:
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> previewed;
    std::vector<std::string> copied;

    // What reveal and open answer: none is success.
    std::optional<std::string> failure;

    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return failure;
    }
    std::optional<std::string> open(const std::string& path) override {
        opened.push_back(path);
        return failure;
    }
    void preview(const std::vector<std::string>& paths) override { previewed.push_back(paths); }
    void copyText(const std::string& text) override { copied.push_back(text); }

    // Where the store asked late failures to go; a test calls it as the desktop would.
    LateFailure lateFailure;
    void setLateFailure(LateFailure report) override { lateFailure = std::move(report); }
};

} // namespace tallymere::test
