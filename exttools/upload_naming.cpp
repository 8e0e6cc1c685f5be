#include "exttools/upload_naming.h"

#include "common/format.h"

namespace tb {

std::string upload_remote_folder(const UploadNaming& n) {
    const std::tm& t = n.when;
    return fmt("%s/%4d%02d%02d-%02d%02d%02d_%s/", n.base_folder, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
               t.tm_hour, t.tm_min, t.tm_sec, n.log_name);
}

std::string upload_description(const UploadNaming& n) {
    const std::tm& t = n.when;
    std::string text = fmt("-t:%4d-%02d-%02d %02d:%02d:%02d ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                           t.tm_min, t.tm_sec);
    text = fmt("%s -l:%s ", text, upload_remote_folder(n));
    text = fmt("%s -s:%s ", text, n.script_name);
    text = fmt("%s -n:%s ", text, n.log_name);
    for (int i = 0; i < 4; ++i) text = fmt("%s -p%d:%s ", text, i + 1, n.params[static_cast<size_t>(i)]);
    return fmt("%s -p5:%s -end:", text, n.params[4]);
}

}  // namespace tb
