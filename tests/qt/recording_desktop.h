// A desktop for the window tests: a folder of the test, and every request to
// open something recorded instead of carried out.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop_open.h"

namespace tb::qtui::test {

struct DesktopRequests {
    std::vector<std::string> opened;                                // open()
    std::vector<std::pair<std::string, std::string>> opened_with;  // open_with(): program, file
};

class RecordingDesktop final : public Desktop {
public:
    RecordingDesktop(std::string folder, std::shared_ptr<DesktopRequests> requests)
        : folder_(std::move(folder)), requests_(std::move(requests)) {}
    bool open(const std::string& path_or_address) override {
        requests_->opened.push_back(path_or_address);
        return true;
    }
    bool open_with(const std::string& program, const std::string& file) override {
        requests_->opened_with.emplace_back(program, file);
        return true;
    }
    std::string folder() override { return folder_; }

private:
    std::string folder_;
    std::shared_ptr<DesktopRequests> requests_;
};

}  // namespace tb::qtui::test
