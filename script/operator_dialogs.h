// Asking the operator: every question a command puts to the person at the
// machine goes through one installed OperatorDialogs. The console installs a
// terminal form, a window its boxes; with none installed, and in a remote
// console run, every question is answered as cancelled at once so that an
// unattended run never blocks.
//
// operator_dialogs() hands out the installed dialogs behind a guard that every
// question passes: one box at a time in the whole process, and a box closed
// with Escape (or by its close button, or a cancelled file dialog) stops
// every running job.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

enum class MessageButtons {
    OkCancel,     // OK 1, Cancel 0
    YesNo,        // Yes 1, No 0
    YesNoCancel,  // Yes 1, No 2, Cancel 0
    Ok,           // OK 1
};

enum class MessageIcon { Question, Warning, Error, Information };

// Answers of a message.
constexpr int kAnswerEscaped = -1;  // closed with Escape: the job stops
constexpr int kAnswerCancel = 0;
constexpr int kAnswerYes = 1;  // also OK
constexpr int kAnswerNo = 2;   // the No of the three-button form

struct MessageRequest {
    std::string text;  // may hold line breaks
    MessageButtons buttons = MessageButtons::OkCancel;
    MessageIcon icon = MessageIcon::Question;
    bool auto_ok = false;  // closes itself with the first button after a count-down
};

// One item out of a list.
struct ChoiceRequest {
    std::string title;
    std::vector<std::string> items;
    int preselected = -1;  // index, or -1 for none
    bool auto_ok = false;  // closes itself with the current selection after a count-down
};

struct NumberRequest {
    std::string title;
    int64_t initial = 0;
    bool auto_ok = false;
};

// Any number of items checked out of a list.
struct CheckListRequest {
    std::string title;
    std::vector<std::string> items;
    std::vector<bool> checked;  // the marks shown first, one per item (missing: unchecked)
    bool auto_ok = false;
};

struct TextRequest {
    std::string title;
    std::string initial;
    std::string special_key;  // when set, an entry must begin with it (case-insensitive)
    int length_limit = 0;     // when not 0, an entry must have exactly this many characters
};

// An entry the operator may submit for `request`: the special key and the length limit hold.
bool text_entry_acceptable(const TextRequest& request, std::string_view entry);

// Folder: an existing folder is chosen (no filters, no extension).
enum class FileMode { Open, Save, Folder };

struct FileFilter {
    std::string pattern;      // "*.bin"
    std::string description;  // "FW image"
};

struct FileRequest {
    std::string title;
    FileMode mode = FileMode::Open;
    std::string default_extension;  // without the dot; added to a chosen name without extension
    std::vector<FileFilter> filters;  // empty: every file
};

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;

    // Whether a person can answer at all. When nobody can (no terminal, a
    // remote console), every question returns at once without stopping
    // anything, and the box commands give 0.
    virtual bool attended() const { return true; }

    // Where somebody can answer, "cancelled" below means the box was closed
    // without an answer (Escape, its close button, a cancelled file dialog);
    // the guard then stops every running job.

    // A message with buttons; one of the kAnswer... values.
    virtual int message(int slot, const MessageRequest& request) = 0;
    // The chosen index, or -1 when cancelled.
    virtual int choose(int slot, const ChoiceRequest& request) = 0;
    // The entered number; nothing when cancelled.
    virtual std::optional<int64_t> number(int slot, const NumberRequest& request) = 0;
    // One mark per item; nothing when cancelled.
    virtual std::optional<std::vector<bool>> check_list(int slot, const CheckListRequest& request) = 0;
    // An accepted entry (it may be empty); nothing when cancelled.
    virtual std::optional<std::string> text(int slot, const TextRequest& request) = 0;
    // The chosen file as a full path; nothing when cancelled.
    virtual std::optional<std::string> file(int slot, const FileRequest& request) = 0;

    // A yes/no (or OK/Cancel) question; true for Yes / OK.
    bool confirm(int slot, std::string_view question, MessageButtons buttons = MessageButtons::YesNo);
};

// Installs the dialogs every later question goes to (nullptr: none) and hands
// back the ones they replace.
std::shared_ptr<OperatorDialogs> install_operator_dialogs(std::shared_ptr<OperatorDialogs> dialogs);

// The dialogs to ask now: the installed ones behind the guard, or the
// cancelling stand-in when none are installed or the run is a remote console
// run.
std::shared_ptr<OperatorDialogs> operator_dialogs();

// Sets the cancel flag of every running job: what a box closed with Escape does.
void stop_running_jobs();

}  // namespace tb
