#include "script/operator_dialogs.h"

#include <mutex>

#include "common/text.h"
#include "script/app_context.h"
#include "script/operator_dialogs_guard.h"

namespace tb {

namespace {

// Where nobody can answer: every question is cancelled at once.
class NobodyToAsk final : public OperatorDialogs {
public:
    int message(int, const MessageRequest&) override { return kAnswerCancel; }
    int choose(int, const ChoiceRequest&) override { return -1; }
    std::optional<int64_t> number(int, const NumberRequest&) override { return std::nullopt; }
    std::optional<std::vector<bool>> check_list(int, const CheckListRequest&) override { return std::nullopt; }
    std::optional<std::string> text(int, const TextRequest&) override { return std::nullopt; }
    std::optional<std::string> file(int, const FileRequest&) override { return std::nullopt; }
    bool attended() const override { return false; }
};

std::mutex g_lock;
std::shared_ptr<OperatorDialogs> g_installed;

std::shared_ptr<OperatorDialogs> nobody() {
    static const std::shared_ptr<OperatorDialogs> instance = std::make_shared<NobodyToAsk>();
    return instance;
}

}  // namespace

bool text_entry_acceptable(const TextRequest& request, std::string_view entry) {
    if (request.length_limit != 0 && utf16_length(entry) != static_cast<size_t>(request.length_limit))
        return false;
    return request.special_key.empty() || istarts_with(entry, request.special_key);
}

bool OperatorDialogs::confirm(int slot, std::string_view question, MessageButtons buttons) {
    MessageRequest request;
    request.text = std::string(question);
    request.buttons = buttons;
    return message(slot, request) == kAnswerYes;
}

std::shared_ptr<OperatorDialogs> install_operator_dialogs(std::shared_ptr<OperatorDialogs> dialogs) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed.swap(dialogs);
    return dialogs;
}

std::shared_ptr<OperatorDialogs> operator_dialogs() {
    // A remote console has nobody at the machine: nothing is ever shown.
    if (app().run_style == kStyleRemoteConsole) return nobody();
    std::shared_ptr<OperatorDialogs> installed;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        installed = g_installed;
    }
    return installed ? guard_operator_dialogs(std::move(installed)) : nobody();
}

}  // namespace tb
