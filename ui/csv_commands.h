// The CSV commands: appending a row, merging a folder's files, and showing a
// file as a chart picture or as a table in the job log.
//
//   CSV_AddData( File, Output )     File: the CSV file; Output: the row, its
//       fields separated by commas (quoted as in the file where a field holds
//       a comma). A file that does not exist yet (or holds nothing) is
//       created and the row becomes its header. Otherwise the row is appended
//       when it has as many fields as the header (-90 when not). Result: the
//       number of data rows in the file afterwards.
//   MergeCSVs( Folder, SaveFile )   the files of Folder ending in ".csv" (any
//       case, not in sub-folders, SaveFile itself left out) in name order,
//       into SaveFile: the one header, then every file's rows. A file whose
//       header differs from the first file's is refused (-90 naming it); so
//       is a folder without CSV files (-11). SaveFile is replaced in one step.
//       Result: the number of rows written.
//   CSV_ShowChart( File, Title, Column )   draws column Column (counted from
//       0; 0 draws every column after the first) against the first column
//       (against the row number when the first column holds other text than
//       numbers) into "<output stem>.png" and shows it as an image line; a
//       window run also opens the chart in a window of its own. Title
//       defaults to the file's name. Result: the number of points.
//   CSV_ShowTable( File, Title )    writes the header and the first 50 rows as
//       aligned text lines; more rows are noted in a last "    >> more..."
//       line. A window run instead opens every row in a table window that
//       sorts by the clicked column, and notes the table in the job log.
//       Result: the number of data rows.
#pragma once

#include <string>

namespace tb {

void cmd_CSV_AddData(int slot, const std::string& args, const std::string& name);
void cmd_MergeCSVs(int slot, const std::string& args, const std::string& name);
void cmd_CSV_ShowChart(int slot, const std::string& args, const std::string& name);
void cmd_CSV_ShowTable(int slot, const std::string& args, const std::string& name);

}  // namespace tb
