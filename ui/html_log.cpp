#include "ui/html_log.h"

#include <mutex>

#include "common/format.h"
#include "platform/paths.h"
#include "common/file_handle.h"

namespace tb {

const char kHtmlLogHeader[] =
    "<html><head><meta http-equiv='Content-Type' content='text/html; charset=utf-8'>"
    "<title>Tamblor</title><style type=\"text/css\">\r\n"
    "body{\r\n"
    "background-color:#000000;\r\n"
    "font-family:\"Courier New\";\r\n"
    "}</style></head><body>\r\n";

namespace {

std::mutex g_html_lock;


bool write_all(std::FILE* f, std::string_view s) {
    return f && std::fwrite(s.data(), 1, s.size(), f) == s.size() && std::fflush(f) == 0;
}

}  // namespace

bool create_html_log(const std::string& path) { return write_file_bytes(path, kHtmlLogHeader); }

std::string html_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == ' ') out += "&nbsp;";
        else out += c;
    }
    return out;
}

std::string html_colour(uint32_t c) { return fmt("#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

std::string html_line(const LogLine& line) {
    std::string prefix = line.left_aligned ? "" : "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
    std::string text = html_escape(line.text);
    bool linked = !line.value.empty();
    // Links and images name their files relative to the HTML file: name and extension only.
    std::string name = path_stem(line.text), ext = path_extension(line.text);
    std::string vname = path_stem(line.value), vext = path_extension(line.value);
    switch (line.kind) {
        case LineKind::ScreenOnly:
            return {};
        case LineKind::Image:
            if (!linked) return fmt("%s<img border=0 src=\"%s%s\"><br>\r\n", prefix, name, ext);
            return fmt("%s<a href=\"%s%s\"><img border=0 src=\"%s%s\"></a><br>\r\n", prefix, vname, vext, name,
                       ext);
        case LineKind::HexFile:
            if (!linked) return fmt("%s<font color=\"#FFFFFF\" style=\"font-size:12px\">%s</font><br>\r\n", prefix, text);
            return fmt("%s<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"%s%s\">%s</a></font><br>\r\n",
                       prefix, vname, vext, text);
        default: {  // text, and console-echoed text drawn the same way
            std::string colour = html_colour(line.colour);
            int px = line.font_size * 12 / 10;
            if (!linked)
                return fmt("%s<font color=\"%s\" style=\"font-size:%dpx\">%s</font><br>\r\n", prefix, colour, px, text);
            return fmt("%s<font color=\"%s\" style=\"font-size:%dpx\"><a href=\"%s%s\">%s</a></font><br>\r\n",
                       prefix, colour, px, vname, vext, text);
        }
    }
}

std::mutex& html_log_lock() { return g_html_lock; }

void html_append(JobLog& log, const std::string& path, std::string_view markup) {
    if (markup.empty()) return;
    std::lock_guard<std::mutex> guard(g_html_lock);
    if (!log.html_enabled) return;
    if (write_all(log.html, markup)) return;
    close_file(log.html);
    FileHandle f = FileHandle::open(path, "ab");
    if (!f) return;
    write_all(f.get(), markup);
    log.html = f.release();
}

}  // namespace tb
