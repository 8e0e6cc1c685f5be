// Where an upload goes on the log server and how it is described to the
// agent service: both built from the moment of the upload, the log name, the
// script name and the script's five parameters.
#pragma once

#include <array>
#include <ctime>
#include <string>

namespace tb {

constexpr const char* kUploadBaseFolder = "/TestLog";

struct UploadNaming {
    std::tm when{};                       // local time of the upload
    std::string base_folder = kUploadBaseFolder;
    std::string log_name;
    std::string script_name;              // without folder and extension
    std::array<std::string, 5> params{};  // empty ones are described too
};

// "<base>/YYYYMMDD-hhmmss_<log name>/".
std::string upload_remote_folder(const UploadNaming& n);

// "-t:YYYY-MM-DD hh:mm:ss  -l:<folder>  -s:<script>  -n:<log>  -p1:..  ...  -p5:<p5> -end:"
// (each part appended after the text so far and a blank, as the agent reads it).
std::string upload_description(const UploadNaming& n);

}  // namespace tb
