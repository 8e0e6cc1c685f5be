#include "script/interpreter.h"

#include <chrono>

#include "common/duration.h"
#include "common/format.h"
#include "common/text.h"
#include "script/app_context.h"
#include "script/command_table.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/script_text.h"

namespace tb {

namespace {

constexpr std::string_view kOperatorChars = "!=><(){}+-*/%|&;";

struct CallSite {
    bool has_call = false;       // a '(' was found
    bool closed = false;         // and its ')' too
    size_t open = 0, close = 0;  // positions of the '(' and the ')'
    std::string name;            // candidate name; empty for a group
    bool has_brace = false;      // a '{' was met before any '('
    std::string block_keyword;   // the text before that '{'
};

// Scans for the innermost call or group that closes first.
CallSite find_call(const std::string& s) {
    CallSite cs;
    bool quoted = false;
    size_t token = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        if (c == '(') {
            cs.has_call = true;
            cs.open = i;
            cs.name = trim(std::string_view(s).substr(token, i - token));
        } else if (c == ')') {
            if (cs.has_call) {
                cs.closed = true;
                cs.close = i;
                return cs;
            }
        } else if (c == '{' && !cs.has_call && !cs.has_brace) {
            cs.has_brace = true;
            cs.block_keyword = trim(std::string_view(s).substr(0, i));
        }
        // An operator ends the current token; so does a comma, so that a call
        // written as a later positional argument is found by its own name.
        if (kOperatorChars.find(c) != std::string_view::npos || c == ',') {
            token = i + 1;
            while (token < s.size() && (s[token] == ' ' || s[token] == '\t')) ++token;
        }
    }
    return cs;
}

std::string first_word(std::string_view s) {
    size_t end = s.find_first_of(" \t({");
    std::string w = to_lower(s.substr(0, end == std::string_view::npos ? s.size() : end));
    return utf16_truncate(w, 59);
}

int64_t var_number(JobSlot& js, std::string_view name) {
    const Value* v = js.vars.find(name);
    return v && v->is_number() ? v->num : 0;
}

void push_both(JobSlot& js, BlockKind kind) {
    js.sub_list.push(kind);
    if (kind == BlockKind::LoopDo) {
        js.main_list.push(kind, static_cast<uint32_t>(js.loop_start));
        js.loop_list.push(BlockKind::LoopDo);
        js.loop_depth = js.main_list.top()->depth;
        // Keep the loop list's depth equal to the main list entry it mirrors.
        js.loop_list.top()->depth = js.loop_depth;
    } else {
        js.main_list.push(kind);
    }
}

bool pop_list(int slot, JobSlot& js, BlockList& list) {
    bool is_main = &list == &js.main_list;
    const BlockEntry* top = list.top();
    if (!top) {
        raise_error(slot, kErrDelBlock, "BlockList is Empty");
        return false;
    }
    bool was_loop = is_main && top->kind == BlockKind::LoopDo;
    list.pop();
    if (was_loop) {
        js.loop_list.pop();
        js.loop_depth = js.loop_list.top() ? js.loop_list.top()->depth : 0;
    }
    // The list became empty: a surplus '}' at top level.
    return !list.empty();
}

bool set_top_kind(int slot, BlockList& list, BlockKind kind) {
    BlockEntry* top = list.top();
    if (!top) {
        raise_error(slot, kErrUpdateBlock, "BlockList is Empty");
        return false;
    }
    top->kind = kind;
    return true;
}

// The bookkeeping for a statement that starts with '}'.
int close_block(int slot, JobSlot& js) {
    const BlockEntry* main = js.main_list.top();
    const BlockEntry* sub = js.sub_list.top();
    if (main->kind == BlockKind::LoopDo) {
        js.loop_start = main->resume;
        if (!pop_list(slot, js, js.sub_list) || !pop_list(slot, js, js.main_list)) return kErrorStop;
        if (js.break_level == -1) return kLoopBack;
        int64_t depth = js.main_list.top()->depth;
        if (depth < js.break_level) return kLoopBack;
        if (depth == js.break_level) js.break_level = -1;
        return kDone;
    }
    if (main->kind == BlockKind::LoopSkip) {
        if (!pop_list(slot, js, js.sub_list) || !pop_list(slot, js, js.main_list)) return kErrorStop;
        if (js.break_level == js.main_list.top()->depth) js.break_level = -1;
        return kDone;
    }
    if (sub->kind == BlockKind::IfDo || sub->kind == BlockKind::IfSkip) {
        if (!pop_list(slot, js, js.sub_list)) return kErrorStop;
        if (!next_statement_is_else(js.script, js.position) && !pop_list(slot, js, js.main_list))
            return kErrorStop;
        return kDone;
    }
    // A loop body whose sub entry is not a branch: pop both as a block.
    if (!pop_list(slot, js, js.sub_list) || !pop_list(slot, js, js.main_list)) return kErrorStop;
    return kDone;
}

bool skipping(const JobSlot& js) {
    const BlockEntry* main = js.main_list.top();
    const BlockEntry* sub = js.sub_list.top();
    return (js.break_level != -1 && js.break_level < static_cast<int64_t>(main->depth)) ||
           sub->kind == BlockKind::IfSkip || main->kind == BlockKind::LoopSkip;
}

void track_skipped_opener(JobSlot& js, const std::string& statement) {
    std::string w = first_word(statement);
    if (w == "if" && statement.find('{') != std::string::npos) {
        js.sub_list.push(BlockKind::IfSkip);
        js.main_list.push(BlockKind::IfSkip);
    } else if (w == "else") {
        js.sub_list.push(BlockKind::IfSkip);
    } else if (w == "while") {
        js.sub_list.push(BlockKind::LoopSkip);
        js.main_list.push(BlockKind::LoopSkip);
    }
}

// How a statement ends once its work (or an error it raised) is done: the
// error policy alone decides whether the run stops or goes on.
int finish(int slot) {
    switch (error_check(slot)) {
        case kCheckErrorStop: return kErrorStop;
        case kCheckExit: return kExitRun;
        case kCheckClose: return kCloseRun;
        default: return kDone;
    }
}

// Step 4: a statement without any call or group.
int execute_plain(int slot, JobSlot& js, std::string& text, const CallSite& cs) {
    std::string kw = to_lower(cs.block_keyword);
    if (!cs.has_brace) {
        if (first_word(text) == "if") {
            if (var_number(js, "if") == 1) {
                text = trim(std::string_view(text).substr(2));
                return kRewritten;
            }
            return kDone;
        }
        if (is_increment_statement(text)) {
            increment_statement(slot, text);
        } else if (text.find('=') != std::string::npos) {
            assignment_statement(slot, text);
        } else if (text == "}" || text.back() == ';') {
            return kDone;
        } else {
            raise_error(slot, kErrUndefinedCommand, text);
        }
        return finish(slot);
    }
    if (kw == "if") {
        push_both(js, var_number(js, "if") == 1 ? BlockKind::IfDo : BlockKind::IfSkip);
    } else if (kw == "else") {
        const BlockEntry* main = js.main_list.top();
        if (main && main->kind == BlockKind::IfSkip) {
            set_top_kind(slot, js.main_list, BlockKind::IfDo);
            js.sub_list.push(BlockKind::IfDo);
        } else {
            js.sub_list.push(BlockKind::IfSkip);
        }
    } else if (kw == "else if") {
        if (var_number(js, "else if") == 1) {
            set_top_kind(slot, js.main_list, BlockKind::IfDo);
            js.sub_list.push(BlockKind::IfDo);
        } else {
            js.sub_list.push(BlockKind::IfSkip);
        }
    } else if (kw == "while") {
        if (var_number(js, "while") == 1) {
            push_both(js, BlockKind::LoopDo);
        } else {
            js.break_level = js.main_list.top()->depth;
            push_both(js, BlockKind::LoopSkip);
        }
    }
    return finish(slot);
}

// Normalises an argument text into an ArgList of literals.
std::string normalise_arguments(int slot, JobSlot& js, std::string_view args) {
    std::string out;
    size_t cursor = 0;
    ArgPair pair;
    while (split_pair(args, cursor, pair)) {
        // A value that fails to evaluate reaches the handler as an empty text,
        // never as the value of the pair before it.
        js.vars.set_string("_Varible", "");
        evaluate_expression(slot, pair.value, "_Varible");
        const Value* v = js.vars.find("_Varible");
        Value val = v ? *v : Value{};
        if (!out.empty()) out = fmt("%s, ", out);
        if (val.type == ValueType::Decimal) out = fmt("%s%s:%I64d", out, pair.key, val.num);
        else if (val.type == ValueType::Hex) out = fmt("%s%s:0x%I64X", out, pair.key, val.num);
        else out = fmt("%s%s:\"%s\"", out, pair.key, val.str);
    }
    return out;
}

void call_command(int slot, JobSlot& js, const CommandEntry& row, const std::string& name,
                  const std::string& raw_args) {
    std::string args = normalise_arguments(slot, js, raw_args);
    bool device = row.cls == StatementClass::Device;
    auto started = std::chrono::steady_clock::now();
    if (device) write_line(slot, fmt("%s(%s);", name, args), LineFormat::CommandHeader, 10, colour::kWhite);
    if (row.handler) row.handler(slot, args, name);
    if (device && !app().console_run()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                      .count();
        log_text(slot, fmt("Elapsed Time(ms): %I64d", static_cast<int64_t>(ms)));
        log_text(slot, fmt("Elapsed Time    : %s", readable_duration(static_cast<uint32_t>(ms))));
    }
}

// Step 5: resolve and make the call found in the statement, then rewrite it.
int execute_call(int slot, JobSlot& js, std::string& text, CallSite cs) {
    if (!cs.closed) {
        raise_error(slot, kErrLoseCommandEnd, text);
        return finish(slot);
    }
    std::string args = text.substr(cs.open + 1, cs.close - cs.open - 1);
    std::string name = cs.name;
    bool group = name.empty();
    std::string lname = to_lower(name);

    if (group) {
        name = fresh_temporary();
        evaluate_expression(slot, args, name);
    } else if (const CommandEntry* row = find_builtin(name)) {
        call_command(slot, js, *row, name, args);
    } else if (const CommandEntry* dev = find_device_command(app().access_protocol, name)) {
        call_command(slot, js, *dev, name, args);
    } else if (icontains(name, "_Varible")) {
        evaluate_expression(slot, args, name);
    } else if (lname == "while") {
        // The loop resumes where the keyword stands in the script text, past
        // any comment or blank lines in front of it.
        std::string raw;
        cut_statement(js.script, js.position, raw);
        size_t kw = ifind(blank_comments(raw), "while");
        js.loop_start = js.position + (kw != std::string::npos ? kw : 0);
        evaluate_condition(slot, args, name);
    } else if (lname == "if") {
        evaluate_condition(slot, args, name);
    } else if (lname == "else if") {
        const BlockEntry* main = js.main_list.top();
        if (main && main->kind == BlockKind::IfDo) js.vars.set_number(name, 0);
        else evaluate_condition(slot, args, name);
    } else if (first_word(text) == "if") {
        // The braceless If: the condition was already replaced; run the rest only when it held.
        if (var_number(js, "if") == 1) {
            text = trim(std::string_view(text).substr(2));
            return kRewritten;
        }
        return kDone;
    } else if (name.find(':') != std::string::npos) {
        // key:( expression ): evaluate into a fresh temporary so that several
        // such arguments of one call keep their own values.
        std::string temp = fresh_temporary();
        evaluate_expression(slot, args, temp);
        name = temp;
        group = true;
    } else {
        raise_error(slot, kErrUndefinedCommand, text);
        return finish(slot);
    }

    if (int result = finish(slot); result != kDone) return result;

    std::string head = text.substr(0, cs.open);
    std::string tail = text.substr(cs.close + 1);
    if (group) head += name;
    if (!name.empty() && icontains(tail, name)) {
        std::string temp = fresh_temporary();
        js.vars.rename(name, temp);
        head = ireplace_all(head, name, temp);
    }
    text = head + tail;
    return kRewritten;
}

}  // namespace

void reset_run_state(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    js->vars.clear();
    js->main_list.clear();
    js->sub_list.clear();
    js->loop_list.clear();
    js->main_list.push(BlockKind::IfDo);
    js->sub_list.push(BlockKind::IfDo);
    js->break_level = -1;
    // A run that ended inside a loop must not leave its depth to the next run.
    js->loop_depth = 0;
    js->loop_start = 0;
    js->error_code = 0;
    js->error_text.clear();
    js->vars.set_number("_ErrorCheck", kCheckRunning);
    js->vars.set_number("_ErrorSkip", 0);
    js->vars.set_number("_ErrorCount", 0);
    js->vars.set_string("_ErrorDesc", "");
}

int execute_statement(int slot, std::string& text, bool rerun) {
    JobSlot* js = job_slot(slot);
    if (!js) return kErrorStop;
    js->error_code = 0;
    js->error_text.clear();
    text = collapse_blanks(text);
    if (text.empty()) return kDone;
    if (utf16_length(text) > kMaxStatementChars) {
        raise_error(slot, kErrCommandTooLong, text);
        return finish(slot);
    }
    if (!rerun) {
        if (!js->main_list.top()) {
            raise_error(slot, kErrGetBlock, "Main BlockList is Empty");
            return kErrorStop;
        }
        if (!js->sub_list.top()) {
            raise_error(slot, kErrGetBlock, "Sub BlockList is Empty");
            return kErrorStop;
        }
        if (text.front() == '}') {
            text.front() = ' ';
            return close_block(slot, *js);
        }
        if (skipping(*js)) {
            track_skipped_opener(*js, text);
            return kDone;
        }
    }
    text = trim(text);
    if (text.empty()) return kDone;
    CallSite cs = find_call(text);
    if (!cs.has_call) return execute_plain(slot, *js, text, cs);
    return execute_call(slot, *js, text, cs);
}

int run_statement(int slot, std::string text) {
    int r = execute_statement(slot, text, false);
    while (r == kRewritten) r = execute_statement(slot, text, true);
    return r;
}

}  // namespace tb
