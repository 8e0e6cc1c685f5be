#include "exttools/command_words.h"

namespace tb {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Collects words; a word exists once any character or quote began it.
class Words {
public:
    void add(char c) {
        word_ += c;
        open_ = true;
    }
    void begin() { open_ = true; }
    void end() {
        if (open_) words_.push_back(std::move(word_));
        word_.clear();
        open_ = false;
    }
    std::vector<std::string> take() {
        end();
        return std::move(words_);
    }

private:
    std::string word_;
    bool open_ = false;
    std::vector<std::string> words_;
};

std::optional<std::vector<std::string>> split_posix(std::string_view line) {
    Words w;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (is_blank(c)) {
            w.end();
        } else if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            w.begin();
            for (size_t k = i + 1; k < close; ++k) w.add(line[k]);
            i = close;
        } else if (c == '"') {
            w.begin();
            size_t k = i + 1;
            for (; k < line.size() && line[k] != '"'; ++k) {
                if (line[k] == '\\' && k + 1 < line.size()) {
                    const char next = line[k + 1];
                    if (next == '\n') {
                        ++k;
                        continue;
                    }
                    if (next == '$' || next == '`' || next == '"' || next == '\\') {
                        w.add(next);
                        ++k;
                        continue;
                    }
                }
                w.add(line[k]);
            }
            if (k >= line.size()) return std::nullopt;
            i = k;
        } else if (c == '\\') {
            if (i + 1 >= line.size()) return std::nullopt;
            if (line[i + 1] != '\n') w.add(line[i + 1]);
            ++i;
        } else {
            w.add(c);
        }
    }
    return w.take();
}

std::optional<std::vector<std::string>> split_windows(std::string_view line) {
    Words w;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            size_t run = 0;
            while (i + run < line.size() && line[i + run] == '\\') ++run;
            const bool before_quote = i + run < line.size() && line[i + run] == '"';
            const size_t kept = before_quote ? run / 2 : run;
            for (size_t k = 0; k < kept; ++k) w.add('\\');
            i += run - 1;
            if (before_quote && run % 2 == 1) {
                w.add('"');
                ++i;
            }
        } else if (c == '"') {
            w.begin();
            quoted = !quoted;
        } else if (is_blank(c) && !quoted) {
            w.end();
        } else {
            w.add(c);
        }
    }
    if (quoted) return std::nullopt;
    return w.take();
}

}  // namespace

std::optional<std::vector<std::string>> split_command_words(std::string_view line, bool backslash_escapes) {
    return backslash_escapes ? split_posix(line) : split_windows(line);
}

}  // namespace tb
