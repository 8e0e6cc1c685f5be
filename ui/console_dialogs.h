// The operator's questions on a terminal: each is written to the prompt
// stream and answered by one line of input. Without a terminal every question
// is cancelled at once, so a console run fed from a pipe never waits.
#pragma once

#include <cstdio>
#include <istream>
#include <memory>

#include "script/operator_dialogs.h"

namespace tb {

class ConsoleDialogs final : public OperatorDialogs {
public:
    // `terminal`: whether `answers` is a person's terminal; without one nothing is asked.
    ConsoleDialogs(std::istream& answers, std::FILE* prompts, bool terminal);

    int message(int slot, const MessageRequest& request) override;
    int choose(int slot, const ChoiceRequest& request) override;
    std::optional<int64_t> number(int slot, const NumberRequest& request) override;
    std::optional<std::vector<bool>> check_list(int slot, const CheckListRequest& request) override;
    std::optional<std::string> text(int slot, const TextRequest& request) override;
    std::optional<std::string> file(int slot, const FileRequest& request) override;

private:
    // One answer line, trimmed; nothing at the end of input or without a terminal.
    std::optional<std::string> answer();
    void show(const std::string& text);

    std::istream& answers_;
    std::FILE* prompts_;
    bool terminal_;
};

// The dialogs of a console run: standard input answers prompts written to
// standard error, when standard input is a terminal.
std::shared_ptr<OperatorDialogs> make_console_dialogs();

}  // namespace tb
