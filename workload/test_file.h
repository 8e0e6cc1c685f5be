// The test file of file-system targets: made anew, filled with zeros in
// 1 MiB unbuffered writes, with the progress on the status line.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

// "<root>/~TamblorTestFile%08d" with the job's number.
std::string test_file_path(const std::string& root, uint32_t job_number);

// Creates the file (always anew, compression off) and writes `size_mb` MiB
// of zeros, posting "Parpare Test File:%d%%" whenever the percentage
// changes. On a stop of the job or a failed write the file is removed and
// false returned; the status text is cleared in every case.
bool prepare_test_file(int slot, const std::string& path, uint64_t size_mb);

// The number test files of this job carry (unique among the instances).
uint32_t job_number();

}  // namespace tb
