// tamblor-datx: turns a debug archive (".datx") back into the zip archive it
// was made from.
//
//   tamblor-datx <file.datx> [<out.zip>]
//
// Without an output name the archive is written beside the input with the
// extension ".zip". Exit code 0 on success, 1 on a usage error, 2 when a
// file cannot be read or written.
#include <cstdio>
#include <string>
#include <vector>

#include "common/file_handle.h"
#include "platform/host/program_arguments.h"
#include "platform/paths.h"
#include "ui/datx_transform.h"

namespace {

std::string zip_beside(const std::string& datx) {
    const std::string ext = tb::path_extension(datx);
    return datx.substr(0, datx.size() - ext.size()) + ".zip";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = tb::host::program_arguments(argc, argv);
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: tamblor-datx <file.datx> [<out.zip>]\n");
        return 1;
    }
    const std::string& in = args[1];
    const std::string out = args.size() == 3 ? args[2] : zip_beside(in);
    std::string datx;
    if (!tb::read_file_bytes(in, datx)) {
        std::fprintf(stderr, "tamblor-datx: cannot read %s\n", in.c_str());
        return 2;
    }
    if (!tb::write_file_bytes(out, tb::datx_decode(datx))) {
        std::fprintf(stderr, "tamblor-datx: cannot write %s\n", out.c_str());
        return 2;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}
