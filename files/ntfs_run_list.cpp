#include "files/ntfs_run_list.h"

#include "common/format.h"
#include "files/ntfs_bytes.h"

namespace tb::ntfs {

namespace {

// Sign-extends the low `width` bytes of `v`.
int64_t sign_extend(uint64_t v, unsigned width) {
    if (width == 0 || width >= 8) return static_cast<int64_t>(v);
    const uint64_t sign = 1ull << (8 * width - 1);
    return static_cast<int64_t>((v ^ sign) - sign);
}

}  // namespace

bool decode_run_list(std::span<const uint8_t> bytes, uint64_t first_vcn, uint64_t volume_clusters,
                     std::vector<Run>& out, std::string& error) {
    out.clear();
    uint64_t vcn = first_vcn;
    int64_t lcn = 0;
    size_t at = 0;
    while (true) {
        if (at >= bytes.size()) {
            error = "Run List Error: the list has no end";
            return false;
        }
        const uint8_t header = bytes[at];
        if (header == 0) return true;
        const unsigned length_size = header & 0x0F, offset_size = header >> 4;
        const auto length = read_le(bytes, at + 1, length_size);
        const auto delta = read_le(bytes, at + 1 + length_size, offset_size);
        if (length_size == 0 || length_size > 8 || offset_size > 8 || !length || !delta) {
            error = fmt("Run List Error: bad run at byte 0x%X", static_cast<unsigned>(at));
            return false;
        }
        if (*length == 0 || *length > (1ull << 48) || vcn + *length < vcn) {
            error = fmt("Run List Error: run of 0x%I64X clusters at byte 0x%X", *length, static_cast<unsigned>(at));
            return false;
        }
        Run run;
        run.vcn = vcn;
        run.clusters = *length;
        if (offset_size) {
            const int64_t step = sign_extend(*delta, offset_size);
            if (__builtin_add_overflow(lcn, step, &lcn) || lcn < 0) {
                error = fmt("Run List Error: run at byte 0x%X starts before the volume", static_cast<unsigned>(at));
                return false;
            }
            if (volume_clusters &&
                (static_cast<uint64_t>(lcn) >= volume_clusters || *length > volume_clusters - static_cast<uint64_t>(lcn))) {
                error = fmt("Run List Error: run at VLCN:0x%I64X of 0x%I64X clusters passes the end of the volume",
                            lcn, *length);
                return false;
            }
            run.lcn = lcn;
        }
        out.push_back(run);
        vcn += *length;
        at += 1 + length_size + offset_size;
    }
}

int64_t cluster_of(const std::vector<Run>& runs, uint64_t vcn) {
    for (const Run& r : runs)
        if (vcn >= r.vcn && vcn - r.vcn < r.clusters) return r.sparse() ? -1 : r.lcn + static_cast<int64_t>(vcn - r.vcn);
    return -1;
}

}  // namespace tb::ntfs
