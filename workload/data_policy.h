// What the engine does with the data of its requests.
//
// Every stream of the engine owns a write buffer and a read buffer of the
// request size (no two requests in flight share memory). Without a data
// policy the engine writes the cycle's pattern and does not look at what it
// reads (the performance workloads). With a policy:
//   - before every write the policy fills the stream's write buffer
//     (prepare_write: the pattern, the sector stamps);
//   - after a write or a trim has completed the policy may ask for the same
//     range to be read back at once into the stream's read buffer
//     (wants_read_back);
//   - after that read the policy checks it (check) against what the write
//     buffer still holds (or zeros after a trim) and names the first wrong
//     sector; the engine then stops the run and reports the miscompare
//     (engine.h, MiscompareRecord) with copies of both buffers.
//   - a read the source itself plans (IoAction::Read) is checked the same
//     way (the overlap test's verification reads against its image).
// The map family's policy adds the write count of a unit to the stamp; its
// compare pass rebuilds expected data with expected_data().
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "workload/planned_io.h"

namespace tb {

class DataPolicy {
public:
    virtual ~DataPolicy() = default;
    // Fills `data` (the request's length) with what the write puts down and
    // records in `io` what was chosen (the pattern value).
    virtual void prepare_write(PlannedIo& io, std::span<uint8_t> data) = 0;
    // After a completed write or trim of `stream`: read the range back now?
    virtual bool wants_read_back(uint32_t stream, const PlannedIo& io) = 0;
    // The index of the first sector of `read` that is not what `io` left
    // there (`written`: the data of a write, still in the write buffer);
    // nothing when every sector is right.
    virtual std::optional<uint32_t> check(const PlannedIo& io, std::span<const uint8_t> written,
                                          std::span<const uint8_t> read) const = 0;
    // What `io` left in its range, rebuilt (for a second look after a
    // miscompare, when the write buffer is gone).
    virtual void expected_data(const PlannedIo& io, std::span<uint8_t> out) const = 0;
};

}  // namespace tb
