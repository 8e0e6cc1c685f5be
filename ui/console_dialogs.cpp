#include "ui/console_dialogs.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "common/format.h"
#include "common/text.h"
#include "platform/console_input.h"
#include "platform/paths.h"
#include "script/app_context.h"

namespace tb {

namespace {

constexpr size_t kMaxTextEntry = 512;

const char* button_hint(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel: return "ok/cancel";
        case MessageButtons::YesNo: return "y/n";
        case MessageButtons::YesNoCancel: return "y/n/cancel";
        case MessageButtons::Ok: return "ok";
    }
    return "ok";
}

// The first button's name, as its count-down shows it.
const char* first_button(MessageButtons buttons) {
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? "Yes" : "OK";
}

bool is_yes(const std::string& answer) {
    return answer == "y" || answer == "yes" || answer == "ok" || answer == "o";
}
bool is_no(const std::string& answer) { return answer == "n" || answer == "no"; }
bool is_cancel(const std::string& answer) { return answer == "c" || answer == "cancel"; }

// The operator's Escape: the word, or the Escape character the terminal passed on.
bool is_escape(const std::string& answer) { return answer == "esc" || (!answer.empty() && answer[0] == '\x1b'); }

// A message answer, or nothing when the line answers none of its buttons.
std::optional<int> message_answer(MessageButtons buttons, const std::string& line) {
    if (buttons == MessageButtons::Ok) return kAnswerYes;
    const std::string a = to_lower(line);
    if (is_yes(a)) return kAnswerYes;
    if (is_no(a)) return buttons == MessageButtons::YesNoCancel ? kAnswerNo : kAnswerCancel;
    if (is_cancel(a) && buttons != MessageButtons::YesNo) return kAnswerCancel;
    return std::nullopt;
}

// A whole decimal number, or nothing.
std::optional<int64_t> parse_decimal(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    long long n = std::strtoll(text.c_str(), &end, 10);
    if (!end || *end != '\0') return std::nullopt;
    return static_cast<int64_t>(n);
}

// A list number from 1 to `count`, as a 0-based index; -1 when it is none.
int list_index(const std::string& text, size_t count) {
    std::optional<int64_t> n = parse_decimal(text);
    if (!n || *n < 1 || *n > static_cast<int64_t>(count)) return -1;
    return static_cast<int>(*n - 1);
}

// The marks a line of item numbers sets; nothing when a word is no item number.
std::optional<std::vector<bool>> marks_of(const std::string& line, size_t count) {
    std::vector<bool> chosen(count, false);
    for (const std::string& word : split(replace_all(line, "\t", " "), ' ')) {
        if (word.empty()) continue;
        const int index = list_index(word, count);
        if (index < 0) return std::nullopt;
        chosen[static_cast<size_t>(index)] = true;
    }
    return chosen;
}

std::string with_default_extension(std::string name, std::string_view ext) {
    if (!ext.empty() && path_extension(name).empty()) name += "." + std::string(ext);
    return name;
}

}  // namespace

ConsoleDialogs::ConsoleDialogs(std::istream& answers, std::FILE* prompts, bool terminal)
    : lines_(terminal ? std::make_unique<BoxAnswerLines>(answers) : nullptr), prompts_(prompts), terminal_(terminal) {}

void ConsoleDialogs::show(const std::string& text) {
    std::fputs(text.c_str(), prompts_);
    std::fflush(prompts_);
}

ConsoleDialogs::Reply ConsoleDialogs::ask(int slot, const std::string& prompt, const BoxCountdown& countdown) {
    if (countdown.running())
        show(fmt("%s(answers itself in %d s) ", prompt, countdown.seconds_left()));
    else
        show(prompt);
    std::string line;
    switch (lines_->next(line, countdown.deadline(), [slot] { return cancel_requested(slot); })) {
        case BoxAnswerLines::Wait::Line: break;
        case BoxAnswerLines::Wait::TimedOut: return {ReplyKind::TimedOut, {}, {}};
        case BoxAnswerLines::Wait::Ended:
        case BoxAnswerLines::Wait::GaveUp: show("\n"); return {ReplyKind::Escaped, {}, {}};
    }
    const std::string trimmed(trim(line, " \t\r\n"));
    if (is_escape(to_lower(trimmed))) return {ReplyKind::Escaped, {}, {}};
    return {ReplyKind::Line, trimmed, line};
}

int ConsoleDialogs::message(int slot, const MessageRequest& request) {
    if (!terminal_) return kAnswerCancel;
    const std::string shown = replace_all(replace_all(request.text, "\r\n", "\n"), "\r", "\n");
    const BoxCountdown countdown(request.auto_ok);
    for (;;) {
        const Reply reply = ask(slot, fmt("%s [%s]: ", shown, button_hint(request.buttons)), countdown);
        if (reply.kind == ReplyKind::Escaped) return kAnswerEscaped;
        if (reply.kind == ReplyKind::TimedOut) {
            show(fmt("\n%s\n", countdown_label(first_button(request.buttons), 0)));
            return kAnswerYes;
        }
        if (std::optional<int> a = message_answer(request.buttons, reply.line)) return *a;
    }
}

int ConsoleDialogs::choose(int slot, const ChoiceRequest& request) {
    if (!terminal_ || request.items.empty()) return -1;
    std::string list = fmt("%s\n", request.title);
    for (size_t i = 0; i < request.items.size(); ++i)
        list += fmt("%c%2d  %s\n", static_cast<int>(i) == request.preselected ? '*' : ' ', static_cast<int>(i + 1),
                    request.items[i]);
    show(list);
    const BoxCountdown countdown(request.auto_ok);
    for (;;) {
        const Reply reply = ask(slot, "Number (Enter for the marked one): ", countdown);
        if (reply.kind == ReplyKind::Escaped) return -1;
        if (reply.kind == ReplyKind::TimedOut) {
            show(fmt("\n%s\n", countdown_label("OK", 0)));
            return request.preselected < 0 ? 0 : request.preselected;
        }
        if (reply.line.empty() && request.preselected >= 0) return request.preselected;
        if (const int index = list_index(reply.line, request.items.size()); index >= 0) return index;
    }
}

std::optional<int64_t> ConsoleDialogs::number(int slot, const NumberRequest& request) {
    if (!terminal_) return std::nullopt;
    const BoxCountdown countdown(request.auto_ok);
    for (;;) {
        const Reply reply = ask(slot, fmt("%s [%I64d]: ", request.title, request.initial), countdown);
        if (reply.kind == ReplyKind::Escaped) return std::nullopt;
        if (reply.kind == ReplyKind::TimedOut) {
            show(fmt("\n%s\n", countdown_label("OK", 0)));
            return request.initial;
        }
        if (reply.line.empty()) return request.initial;
        if (std::optional<int64_t> n = parse_decimal(reply.line)) return n;
    }
}

std::optional<std::vector<bool>> ConsoleDialogs::check_list(int slot, const CheckListRequest& request) {
    if (!terminal_) return std::nullopt;
    std::vector<bool> marks(request.items.size(), false);
    for (size_t i = 0; i < marks.size() && i < request.checked.size(); ++i) marks[i] = request.checked[i];
    std::string list = fmt("%s\n", request.title);
    for (size_t i = 0; i < request.items.size(); ++i)
        list += fmt("[%c]%2d  %s\n", marks[i] ? 'x' : ' ', static_cast<int>(i + 1), request.items[i]);
    show(list);
    const BoxCountdown countdown(request.auto_ok);
    for (;;) {
        const Reply reply =
            ask(slot, "Numbers to check, separated by blanks (Enter keeps the marks, \"all\", \"none\"): ", countdown);
        if (reply.kind == ReplyKind::Escaped) return std::nullopt;
        if (reply.kind == ReplyKind::TimedOut) {
            show(fmt("\n%s\n", countdown_label("OK", 0)));
            return marks;
        }
        if (reply.line.empty()) return marks;
        const std::string word = to_lower(reply.line);
        if (word == "all" || word == "none") return std::vector<bool>(marks.size(), word == "all");
        if (std::optional<std::vector<bool>> chosen = marks_of(reply.line, marks.size())) return chosen;
    }
}

std::optional<std::string> ConsoleDialogs::text(int slot, const TextRequest& request) {
    if (!terminal_) return std::nullopt;
    std::string hints;
    if (!request.special_key.empty()) hints += fmt("Special Key : \"%s\"\n", request.special_key);
    if (request.length_limit != 0) hints += fmt("Lenth Limit : %d\n", request.length_limit);
    const BoxCountdown no_countdown(false);
    for (;;) {
        std::string prompt = hints + request.title;
        if (!request.initial.empty()) prompt += fmt(" [%s]", request.initial);
        const Reply reply = ask(slot, prompt + ": ", no_countdown);
        if (reply.kind != ReplyKind::Line) return std::nullopt;
        std::string entry = utf16_truncate(replace_all(replace_all(reply.raw, "\r", ""), "\n", ""), kMaxTextEntry);
        if (entry.empty()) entry = request.initial;
        if (text_entry_acceptable(request, entry)) return entry;
    }
}

std::optional<std::string> ConsoleDialogs::file(int slot, const FileRequest& request) {
    if (!terminal_) return std::nullopt;
    if (request.mode == FileMode::Folder) return folder(slot, request);
    const Reply reply = ask(slot,
                            fmt("%s (%s file name, empty to cancel): ", request.title,
                                request.mode == FileMode::Save ? "save" : "open"),
                            BoxCountdown(false));
    if (reply.kind != ReplyKind::Line || reply.line.empty()) return std::nullopt;
    return absolute_path(with_default_extension(reply.line, request.default_extension));
}

// Asks again until the answer names an existing folder; empty cancels.
std::optional<std::string> ConsoleDialogs::folder(int slot, const FileRequest& request) {
    for (;;) {
        const Reply reply = ask(slot, fmt("%s (folder, empty to cancel): ", request.title), BoxCountdown(false));
        if (reply.kind != ReplyKind::Line || reply.line.empty()) return std::nullopt;
        const std::string chosen = absolute_path(reply.line);
        if (folder_exists(chosen)) return chosen;
        show(fmt("No such folder: %s\n", chosen));
    }
}

std::shared_ptr<OperatorDialogs> make_console_dialogs() {
    return std::make_shared<ConsoleDialogs>(std::cin, stderr, console_input_is_terminal());
}

}  // namespace tb
