#include "ui/console_dialogs.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "common/format.h"
#include "common/text.h"
#include "platform/console_input.h"
#include "platform/paths.h"

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

bool is_yes(const std::string& answer) {
    return answer == "y" || answer == "yes" || answer == "ok" || answer == "o";
}

bool is_no(const std::string& answer) { return answer == "n" || answer == "no"; }

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

std::string with_default_extension(std::string name, std::string_view ext) {
    if (!ext.empty() && path_extension(name).empty()) name += "." + std::string(ext);
    return name;
}

}  // namespace

ConsoleDialogs::ConsoleDialogs(std::istream& answers, std::FILE* prompts, bool terminal)
    : answers_(answers), prompts_(prompts), terminal_(terminal) {}

void ConsoleDialogs::show(const std::string& text) {
    std::fputs(text.c_str(), prompts_);
    std::fflush(prompts_);
}

std::optional<std::string> ConsoleDialogs::answer() {
    std::string line;
    if (!std::getline(answers_, line)) return std::nullopt;
    return trim(line, " \t\r\n");
}

int ConsoleDialogs::message(int, const MessageRequest& request) {
    if (!terminal_) return kAnswerCancel;
    const std::string shown = replace_all(replace_all(request.text, "\r\n", "\n"), "\r", "\n");
    show(fmt("%s [%s]: ", shown, button_hint(request.buttons)));
    std::optional<std::string> line = answer();
    if (!line) return kAnswerCancel;
    if (request.buttons == MessageButtons::Ok) return kAnswerYes;
    const std::string a = to_lower(*line);
    if (is_yes(a)) return kAnswerYes;
    if (request.buttons == MessageButtons::YesNoCancel && is_no(a)) return kAnswerNo;
    return kAnswerCancel;
}

int ConsoleDialogs::choose(int, const ChoiceRequest& request) {
    if (!terminal_ || request.items.empty()) return -1;
    std::string list = fmt("%s\n", request.title);
    for (size_t i = 0; i < request.items.size(); ++i)
        list += fmt("%c%2d  %s\n", static_cast<int>(i) == request.preselected ? '*' : ' ', static_cast<int>(i + 1),
                    request.items[i]);
    show(list + "Number (Enter for the marked one, anything else to cancel): ");
    std::optional<std::string> line = answer();
    if (!line) return -1;
    if (line->empty()) return request.preselected;
    return list_index(*line, request.items.size());
}

std::optional<int64_t> ConsoleDialogs::number(int, const NumberRequest& request) {
    if (!terminal_) return std::nullopt;
    for (;;) {
        show(fmt("%s [%I64d]: ", request.title, request.initial));
        std::optional<std::string> line = answer();
        if (!line) return std::nullopt;
        if (line->empty()) return request.initial;
        if (std::optional<int64_t> n = parse_decimal(*line)) return n;
    }
}

std::optional<std::vector<bool>> ConsoleDialogs::check_list(int, const CheckListRequest& request) {
    if (!terminal_) return std::nullopt;
    std::vector<bool> marks(request.items.size(), false);
    for (size_t i = 0; i < marks.size() && i < request.checked.size(); ++i) marks[i] = request.checked[i];
    std::string list = fmt("%s\n", request.title);
    for (size_t i = 0; i < request.items.size(); ++i)
        list += fmt("[%c]%2d  %s\n", marks[i] ? 'x' : ' ', static_cast<int>(i + 1), request.items[i]);
    show(list + "Numbers to check, separated by blanks (Enter keeps the marks, anything else to cancel): ");
    std::optional<std::string> line = answer();
    if (!line) return std::nullopt;
    if (line->empty()) return marks;
    std::vector<bool> chosen(request.items.size(), false);
    for (const std::string& word : split(replace_all(*line, "\t", " "), ' ')) {
        if (word.empty()) continue;
        const int index = list_index(word, chosen.size());
        if (index < 0) return std::nullopt;
        chosen[static_cast<size_t>(index)] = true;
    }
    return chosen;
}

std::optional<std::string> ConsoleDialogs::text(int, const TextRequest& request) {
    if (!terminal_) return std::nullopt;
    std::string hints;
    if (!request.special_key.empty()) hints += fmt("Special Key : \"%s\"\n", request.special_key);
    if (request.length_limit != 0) hints += fmt("Lenth Limit : %d\n", request.length_limit);
    for (;;) {
        std::string prompt = hints + request.title;
        if (!request.initial.empty()) prompt += fmt(" [%s]", request.initial);
        show(prompt + ": ");
        std::string line;
        if (!std::getline(answers_, line)) return std::nullopt;
        std::string entry = utf16_truncate(replace_all(replace_all(line, "\r", ""), "\n", ""), kMaxTextEntry);
        if (entry.empty()) entry = request.initial;
        if (text_entry_acceptable(request, entry)) return entry;
    }
}

std::optional<std::string> ConsoleDialogs::file(int, const FileRequest& request) {
    if (!terminal_) return std::nullopt;
    show(fmt("%s (%s file name, empty to cancel): ", request.title,
             request.mode == FileMode::Save ? "save" : "open"));
    std::optional<std::string> line = answer();
    if (!line || line->empty()) return std::nullopt;
    return absolute_path(with_default_extension(*line, request.default_extension));
}

std::shared_ptr<OperatorDialogs> make_console_dialogs() {
    return std::make_shared<ConsoleDialogs>(std::cin, stderr, console_input_is_terminal());
}

}  // namespace tb
