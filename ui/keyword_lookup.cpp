#include "ui/keyword_lookup.h"

#include <string>
#include <vector>

#include "common/text.h"
#include "platform/paths.h"
#include "script/job_slot.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "ui/text_file.h"

namespace tb {

namespace {

constexpr size_t kMaxAlternatives = 10;
constexpr size_t kMaxAlternativeChars = 256;
constexpr size_t kMaxFileLineChars = 1000;
constexpr char kTrimChars[] = " \t\r\n";

std::vector<std::string> split_alternatives(std::string_view keywords) {
    std::vector<std::string> alts;
    for (const std::string& a : split(keywords, '|')) {
        if (alts.size() == kMaxAlternatives) break;
        alts.push_back(trim(utf16_truncate(a, kMaxAlternativeChars), kTrimChars));
    }
    return alts;
}

// A line "key : value" matches when the key, or the key cut at its first '(',
// equals an alternative; "Model Number (MN) : x" answers both "Model Number
// (MN)" and "Model Number".
bool match_line(std::string_view line, const std::vector<std::string>& alts, std::string& value,
                std::string* matched) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view head = line.substr(0, colon);
    std::string key = trim(head, kTrimChars);
    std::string short_key = trim(head.substr(0, head.find('(')), kTrimChars);
    for (const std::string& alt : alts) {
        if (iequals(key, alt) || iequals(short_key, alt)) {
            value = trim(line.substr(colon + 1), kTrimChars);
            if (matched) *matched = alt;
            return true;
        }
    }
    return false;
}

}  // namespace

bool find_keyword(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                  std::string* matched) {
    JobSlot* js = slot == kNoSlot ? nullptr : job_slot(slot);
    JobLog* log = job_log_state(slot);
    if (!js || !log) return false;
    std::vector<std::string> alts = split_alternatives(keywords);
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(log->lock);
        // The file is read below; nothing more is added to it until the next command.
        close_file(log->result_file);
        folder = js->log_folder;
        if (iequals(file_name, "_Result.txt")) {
            bool want_image = false;
            for (const std::string& a : alts) want_image |= iequals(a, "FINDIMAGE");
            const std::vector<LogLine>& lines = log->lines;
            for (size_t i = lines.size(); i-- > 0;) {
                const LogLine& line = lines[i];
                if (!line.text.empty() && line.text.front() == '<') break;  // header of the newest command
                if (want_image && line.kind == LineKind::Image) {
                    value = line.text;
                    if (matched) *matched = "FINDIMAGE";
                    return true;
                }
                if (match_line(line.text, alts, value, matched)) return true;
            }
        }
    }
    std::vector<std::string> lines;
    if (!read_text_lines(path_join(folder, file_name), kMaxFileLineChars, lines)) return false;
    for (const std::string& line : lines)
        if (match_line(line, alts, value, matched)) return true;
    return false;
}

}  // namespace tb
