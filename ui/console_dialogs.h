// The operator's questions on a terminal: each box becomes a prompt on the
// prompt stream, answered by one line of input. A box that answers itself
// (AutoOK) says so in its prompt and, when its count-down runs out, answers
// as the window would (the first button, the current selection, number or
// marks). "esc" (or a line starting with the Escape character) and the end
// of input close the box as Escape does: the job stops. Without a terminal
// nothing is asked and every question returns at once.
#pragma once

#include <cstdio>
#include <istream>
#include <memory>
#include <string>

#include "script/operator_dialogs.h"
#include "ui/box_answer_lines.h"
#include "ui/box_countdown.h"

namespace tb {

class ConsoleDialogs final : public OperatorDialogs {
public:
    // `terminal`: whether `answers` is a person's terminal; without one nothing is asked.
    ConsoleDialogs(std::istream& answers, std::FILE* prompts, bool terminal);

    bool attended() const override { return terminal_; }
    int message(int slot, const MessageRequest& request) override;
    int choose(int slot, const ChoiceRequest& request) override;
    std::optional<int64_t> number(int slot, const NumberRequest& request) override;
    std::optional<std::vector<bool>> check_list(int slot, const CheckListRequest& request) override;
    std::optional<std::string> text(int slot, const TextRequest& request) override;
    std::optional<std::string> file(int slot, const FileRequest& request) override;

private:
    enum class ReplyKind { Line, TimedOut, Escaped };
    struct Reply {
        ReplyKind kind;
        std::string line;  // trimmed
        std::string raw;   // as typed
    };

    // Shows `prompt` (with the count-down notice when one runs) and waits for
    // a line, the count-down's end, or the job being stopped.
    Reply ask(int slot, const std::string& prompt, const BoxCountdown& countdown);
    void show(const std::string& text);
    std::optional<std::string> folder(int slot, const FileRequest& request);

    std::unique_ptr<BoxAnswerLines> lines_;
    std::FILE* prompts_;
    bool terminal_;
};

// The dialogs of a console run: standard input answers prompts written to
// standard error, when standard input is a terminal.
std::shared_ptr<OperatorDialogs> make_console_dialogs();

}  // namespace tb
