#include "files/file_bindings.h"

#include "files/file_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"File_Copy", cmd_File_Copy},
    {"File_Compare", cmd_File_Compare},
    {"File_Delete", cmd_File_Delete},
    {"File_Write", cmd_File_Write},
    {"File_FullByPattern", cmd_File_FullByPattern},
    {"File_Read", cmd_File_Read},
    {"File_JobState", cmd_File_JobState},
    {"File_CompareWithPattern", cmd_File_CompareWithPattern},
};

}  // namespace

BindingList file_bindings() { return kBindings; }

}  // namespace tb
