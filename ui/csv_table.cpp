#include "ui/csv_table.h"

#include "common/file_handle.h"
#include "common/format.h"
#include "ui/text_file.h"

namespace tb {

namespace {

constexpr int32_t kCsvFileOpen = -11;
constexpr int32_t kCsvInvalid = -90;

// Walks the text one record at a time.
class CsvScanner {
public:
    explicit CsvScanner(std::string_view text) : text_(text) {}

    bool done() const { return at_ >= text_.size(); }
    bool open_quote() const { return open_quote_; }

    // Reads the next record; `blank` tells a line that held nothing at all.
    void next(CsvRow& fields, bool& blank) {
        fields.clear();
        std::string field;
        bool quoted = false;
        blank = true;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (quoted) {
                if (c != '"') {
                    field += c;
                } else if (at_ < text_.size() && text_[at_] == '"') {
                    field += '"';
                    ++at_;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (c == '\n') break;
            if (c == '\r' && (at_ >= text_.size() || text_[at_] == '\n')) continue;
            blank = false;
            if (c == ',') {
                fields.push_back(std::move(field));
                field.clear();
            } else if (c == '"') {
                quoted = true;
            } else {
                field += c;
            }
        }
        if (quoted) open_quote_ = true;
        if (!blank) fields.push_back(std::move(field));
    }

private:
    std::string_view text_;
    size_t at_ = 0;
    bool open_quote_ = false;
};

}  // namespace

CsvProblem parse_csv(std::string_view text, std::string_view name, CsvTable& out) {
    out = {};
    CsvScanner scan(text);
    CsvRow fields;
    bool have_header = false, blank = true;
    size_t row_number = 0;
    while (!scan.done()) {
        scan.next(fields, blank);
        if (blank) continue;
        ++row_number;
        if (scan.open_quote())
            return {kCsvInvalid, fmt("%s: row %d has a quote that is never closed", std::string(name),
                                     static_cast<int>(row_number))};
        if (!have_header) {
            out.header = std::move(fields);
            have_header = true;
            continue;
        }
        if (fields.size() != out.header.size())
            return {kCsvInvalid, fmt("%s: row %d has %d fields, the header has %d", std::string(name),
                                     static_cast<int>(row_number), static_cast<int>(fields.size()),
                                     static_cast<int>(out.header.size()))};
        out.rows.push_back(std::move(fields));
    }
    if (!have_header) return {kCsvInvalid, fmt("%s: the file is empty", std::string(name))};
    return {};
}

CsvProblem read_csv_file(const std::string& path, CsvTable& out) {
    out = {};
    std::string bytes;
    if (!read_file_bytes(path, bytes)) return {kCsvFileOpen, path};
    return parse_csv(decode_text_bytes(bytes), path, out);
}

bool split_csv_line(std::string_view line, CsvRow& out) {
    CsvScanner scan(line);
    bool blank = true;
    scan.next(out, blank);
    if (blank) out.assign(1, std::string());
    return !scan.open_quote() && scan.done();
}

std::string join_csv_row(const CsvRow& row) {
    std::string out;
    for (size_t i = 0; i < row.size(); ++i) {
        if (i) out += ',';
        const std::string& f = row[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            out += f;
            continue;
        }
        out += '"';
        for (char c : f) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

}  // namespace tb
