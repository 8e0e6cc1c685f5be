#include "files/file_pair_args.h"

#include <utility>

#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"FromFile", "From|Source", ArgType::Text, ""},
    {"ToFile", "To|Destination", ArgType::Text, ""},
};

}  // namespace

std::optional<FilePairWork> read_file_pair_args(int slot, std::string_view args, std::string_view command,
                                                FileBox destination_box) {
    const std::optional<CommandArgs> a = read_args(slot, args, command, kSpecs);
    if (!a) return std::nullopt;
    std::optional<std::string> from = place_file_name(slot, a->text("FromFile"), FileBox::Open, "Source File");
    if (!from) return std::nullopt;
    std::optional<std::string> to = place_file_name(slot, a->text("ToFile"), destination_box, "Destination File");
    if (!to) return std::nullopt;
    FilePairs work = file_pairs(*from, *to);
    if (!work.source_found) {
        log_error_line(slot, "Source is not exist");
        raise_error(slot, kErrFileOpen, *from);
        return std::nullopt;
    }
    return FilePairWork{std::move(*from), std::move(*to), std::move(work)};
}

}  // namespace tb
