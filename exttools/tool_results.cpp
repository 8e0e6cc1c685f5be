#include "exttools/tool_results.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "common/duration.h"
#include "common/format.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "exttools/bounded_text.h"
#include "platform/paths.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr std::string_view kPrefix = ">>>> ";
constexpr std::string_view kImageMarker = "      [PNG]";
constexpr uint32_t kMaxImageHeight = 255;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Writes the lines of one run in its style.
class ResultLog {
public:
    ResultLog(int slot, const ToolResultStyle& style) : slot_(slot), style_(style) {}

    void plain(std::string_view text, uint32_t colour, std::string_view link = {}) const {
        const bool keeps_colour = colour == colour::kRed || colour == colour::kYellow;
        const uint32_t drawn = style_.background && !keeps_colour ? colour::kBlue : colour;
        const std::string line = style_.background ? std::string(kPrefix) + std::string(text) : std::string(text);
        write_line(slot_, line, LineFormat::Normal, 10, drawn, LineKind::Text, link);
    }
    void image(const std::string& path, std::string_view link) const {
        const uint32_t height = std::min(png_height(path), kMaxImageHeight);
        write_line(slot_, path, LineFormat::Normal, static_cast<int>(height ? height : kMaxImageHeight),
                   colour::kWhite, LineKind::Image, link.empty() ? std::string_view(path) : link);
    }
    // Says what was left out of a file.
    void limits(const std::string& path, const BoundedText& text) const {
        if (text.binary) plain(fmt("%s : not a text file, not shown", path_file_name(path)), colour::kGrey);
        else if (text.cut) plain(fmt("%s : the rest is not shown", path_file_name(path)), colour::kGrey);
    }

private:
    int slot_;
    ToolResultStyle style_;
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
}

bool log_ini(const ResultLog& log, const std::string& path) {
    const BoundedText text = read_bounded_text(path);
    IniFile ini;
    ini.parse(joined(text.lines));
    bool failed = false;
    const size_t count = ini.keys("Result").size();
    for (size_t i = 0; i < count; ++i) {
        const auto value = ini.get("Result", fmt("ITEM%d", static_cast<int>(i)));
        if (!value) continue;
        std::string shown = *value, link;
        const size_t at = shown.find("[LINK]");
        if (at != std::string::npos) {
            link = shown.substr(at + 6);
            shown.erase(at);
        }
        const bool error_line = shown.find("Err") != std::string::npos;
        failed = failed || error_line;
        log.plain(shown, error_line ? colour::kRed : colour::kWhite, link);
    }
    log.limits(path, text);
    return failed;
}

void log_txt(const ResultLog& log, const std::string& path) {
    const BoundedText text = read_bounded_text(path);
    for (const std::string& line : text.lines) {
        if (line.empty()) continue;
        const size_t at = line.find(kImageMarker);
        if (at == std::string::npos) {
            log.plain(line, colour::kGrey);
            continue;
        }
        const std::string rest = line.substr(at + kImageMarker.size());
        const size_t comma = rest.find(',');
        const std::string image = trim(rest.substr(0, comma));
        log.image(image, comma == std::string::npos ? std::string() : trim(rest.substr(comma + 1)));
    }
    log.limits(path, text);
}

void log_xml(const ResultLog& log, const std::string& path) {
    const BoundedText text = read_bounded_text(path);
    for (const std::string& line : text.lines) {
        const size_t close = line.find("</");
        if (close == std::string::npos) continue;
        std::string item = line.substr(0, close);
        std::erase(item, '<');
        item = trim(item);
        const size_t gt = item.find('>');
        if (gt == std::string::npos) continue;
        const std::string name = item.substr(0, gt), value = item.substr(gt + 1);
        log.plain(fmt("%-60s : %s", name, value), name.find("Score") != std::string::npos ? colour::kYellow
                                                                                            : colour::kGrey);
    }
    log.limits(path, text);
}

}  // namespace

uint32_t png_height(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> f(std::fopen(native_path(path).c_str(), "rb"));
    if (!f) return 0;
    std::array<unsigned char, 24> head{};
    if (std::fread(head.data(), 1, head.size(), f.get()) != head.size()) return 0;
    static constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!std::equal(kSignature.begin(), kSignature.end(), head.begin())) return 0;
    return (uint32_t{head[20]} << 24) | (uint32_t{head[21]} << 16) | (uint32_t{head[22]} << 8) | head[23];
}

bool tool_results_exist(const std::string& stem) {
    for (const char* ext : {".PNG", ".INI", ".TXT", ".XML"})
        if (file_exists(stem + ext)) return true;
    return false;
}

ToolResultOutcome log_tool_results(int slot, const std::string& stem, uint64_t elapsed_ms,
                                   const ToolResultStyle& style) {
    const std::string png = stem + ".PNG", ini = stem + ".INI", txt = stem + ".TXT", xml = stem + ".XML";
    ToolResultOutcome out;
    out.any_file = tool_results_exist(stem);
    if (!out.any_file) return out;
    const ResultLog log(slot, style);
    if (file_exists(png)) log.image(png, png);
    if (file_exists(ini)) out.failed = log_ini(log, ini);
    if (file_exists(txt)) log_txt(log, txt);
    if (file_exists(xml)) log_xml(log, xml);
    log.plain(fmt("Elapsed Time(ms): %I64d", static_cast<int64_t>(elapsed_ms)), colour::kWhite);
    log.plain(fmt("Elapsed Time    : %s", readable_duration(static_cast<uint32_t>(elapsed_ms))), colour::kWhite);
    return out;
}

}  // namespace tb
