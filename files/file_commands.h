// The file commands. Names without a drive or root lie on the job's
// partition (see file_place.h); an empty name asks with a file box.
//
//   File_Copy( FromFile, ToFile )      a file, or a folder's files, copied
//   File_Compare( FromFile, ToFile )   two files, or two folders' files, compared
//   File_Delete( File, ConfirmMsg )    every file matching a name or wildcard deleted
//   J = File_Write( File, DataLenMB, WritePattern, WaitFinish )   a file job
//   File_FullByPattern( File, DataLenMB, WritePattern )           File_Write, waited for
//   J = File_Read( File, OffsetByte, DataLenByte, WaitFinish )    a file job
//   File_JobState( JobID )             17 / 31 (write running / ended), 33 / 47 (read)
//   File_CompareWithPattern( File, Pattern, CheckHead, OffsetByte )
#pragma once

#include <string>

namespace tb {

void cmd_File_Copy(int slot, const std::string& args, const std::string& name);
void cmd_File_Compare(int slot, const std::string& args, const std::string& name);
void cmd_File_Delete(int slot, const std::string& args, const std::string& name);
void cmd_File_Write(int slot, const std::string& args, const std::string& name);
void cmd_File_FullByPattern(int slot, const std::string& args, const std::string& name);
void cmd_File_Read(int slot, const std::string& args, const std::string& name);
void cmd_File_JobState(int slot, const std::string& args, const std::string& name);
void cmd_File_CompareWithPattern(int slot, const std::string& args, const std::string& name);

}  // namespace tb
