// A scripted operator for tests: each kind of question is answered by the
// test's function (cancelled when none is set) and every request is recorded.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script/operator_dialogs.h"

namespace tb::test {

class FakeDialogs final : public OperatorDialogs {
public:
    std::function<int(const MessageRequest&)> on_message;
    std::function<int(const ChoiceRequest&)> on_choose;
    std::function<std::optional<int64_t>(const NumberRequest&)> on_number;
    std::function<std::optional<std::vector<bool>>(const CheckListRequest&)> on_check_list;
    std::function<std::optional<std::string>(const TextRequest&)> on_text;
    std::function<std::optional<std::string>(const FileRequest&)> on_file;

    std::vector<MessageRequest> messages;
    std::vector<ChoiceRequest> choices;
    std::vector<FileRequest> files;
    int asked = 0;  // questions of every kind

    int message(int, const MessageRequest& r) override {
        ++asked;
        messages.push_back(r);
        return on_message ? on_message(r) : kAnswerCancel;
    }
    int choose(int, const ChoiceRequest& r) override {
        ++asked;
        choices.push_back(r);
        return on_choose ? on_choose(r) : -1;
    }
    std::optional<int64_t> number(int, const NumberRequest& r) override {
        ++asked;
        return on_number ? on_number(r) : std::nullopt;
    }
    std::optional<std::vector<bool>> check_list(int, const CheckListRequest& r) override {
        ++asked;
        return on_check_list ? on_check_list(r) : std::nullopt;
    }
    std::optional<std::string> text(int, const TextRequest& r) override {
        ++asked;
        return on_text ? on_text(r) : std::nullopt;
    }
    std::optional<std::string> file(int, const FileRequest& r) override {
        ++asked;
        files.push_back(r);
        return on_file ? on_file(r) : std::nullopt;
    }
};

// Installs a fresh FakeDialogs for the scope; the dialogs installed before
// come back when it ends.
class ScopedFakeDialogs {
public:
    ScopedFakeDialogs() : fake_(std::make_shared<FakeDialogs>()), before_(install_operator_dialogs(fake_)) {}
    ~ScopedFakeDialogs() { install_operator_dialogs(before_); }
    ScopedFakeDialogs(const ScopedFakeDialogs&) = delete;
    ScopedFakeDialogs& operator=(const ScopedFakeDialogs&) = delete;

    FakeDialogs& operator*() { return *fake_; }
    FakeDialogs* operator->() { return fake_.get(); }

private:
    std::shared_ptr<FakeDialogs> fake_;
    std::shared_ptr<OperatorDialogs> before_;
};

}  // namespace tb::test
