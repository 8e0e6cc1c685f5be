// Feeds random bytes to the package reader as a packaged program: the
// program-image and trailer probe, the central directory, the limits and
// the extraction into a scratch folder. The reader must never crash, leak,
// write outside the folder or write more than the limits allow.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/package.h"
#include "app/program_image.h"
#include "app/zip_archive.h"
#include "app/zip_limits.h"

namespace {

// Small limits keep each run fast and its files small.
tb::ZipLimits fuzz_limits() {
    tb::ZipLimits limits;
    limits.entry_bytes = 1u << 20;
    limits.total_bytes = 4u << 20;
    limits.ratio_floor = 64u << 10;
    return limits;
}

// A private folder for this process, removed at exit.
class Scratch {
  public:
    Scratch() {
        char tmpl[] = "/tmp/tamblor-pkg-fuzz-XXXXXX";
        if (char* p = ::mkdtemp(tmpl)) root_ = p;
        program_ = root_ + "/player";
        out_ = root_ + "/out";
    }
    ~Scratch() { tb::remove_work_folder(root_); }
    const std::string& root() const { return root_; }
    const std::string& program() const { return program_; }
    const std::string& out() const { return out_; }

  private:
    std::string root_, program_, out_;
};

// Aborts when the extraction wrote beside its folder or more than the limits.
void check_confined(const std::string& root, const std::string& out, const tb::ZipLimits& limits) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(root, ec))
        if (e.path().filename() != "player" && e.path().filename() != "out") std::abort();
    uint64_t written = 0;
    for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) written += it->file_size(ec);
    if (written > limits.total_bytes) std::abort();
}

bool write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (!write_file(scratch.program(), data, size)) return 0;

    (void)tb::program_image_size(scratch.program());
    tb::PackageProbe probe = tb::probe_embedded_package(scratch.program());
    tb::ZipReader reader;
    if (probe.kind == tb::PackageProbe::Kind::Present)
        reader.open(scratch.program(), probe.where.offset, probe.where.length);
    else
        reader.open(scratch.program());

    const tb::ZipLimits limits = fuzz_limits();
    (void)tb::archive_over_limits(reader.entries(), limits, limits.total_bytes);
    if (::mkdir(scratch.out().c_str(), 0700) != 0) return 0;
    tb::ZipExtractReport report = tb::extract_all(reader, scratch.out(), limits);
    if (report.extracted + report.failed != reader.entries().size()) std::abort();
    check_confined(scratch.root(), scratch.out(), limits);
    tb::remove_work_folder(scratch.out());
    return 0;
}
