#include "app/usage_text.h"

namespace tb {

std::string usage_text() {
    return "usage: tamblor [--sim[=machine.ini] | --linux | --windows] SCRIPT:\"path.scpt\" [\\\\.\\PHYSICALDRIVE<n>] [word ...]\n"
           "       tamblor --list | --listslave | --help | --version\n";
}

std::string builtin_help_text() {
    return R"(tamblor - runs a test script against a disk and reports on screen, in log files and through its exit code.

Usage
  tamblor [--sim[=machine.ini] | --linux | --windows] SCRIPT:"test.scpt" [target] [word ...]
  tamblor --list [1]          the disks, one line each (1: in columns)
  tamblor --version           the version line
  tamblor --help              this text (or the package's help.txt)

Machines
  --sim                       the built-in simulated machine (the default): NVMe, SATA and USB-bridge
                              disks over sparse files, no hardware needed
  --sim=machine.ini           a simulated machine of your own
  --linux                     the real disks of this Linux machine (as root)
  --windows                   the real disks of this Windows machine (as administrator)

Target
  \\.\PHYSICALDRIVE1          the second disk in discovery order (--list shows the /dev path)
  \\.\model\<text>  \\.\port\<text>  \\.\vid\<hex>
  Without a target the first disk that is not the system disk is tested.

Examples
  tamblor --sim SCRIPT:"examples/sample.scpt"
  tamblor --linux SCRIPT:"smart.scpt" \\.\PHYSICALDRIVE1 LOOPS=10
  Free words such as LOOPS=10 are read in the script with InitParam_Data.

A first script (save as first.scpt, CR LF line ends)
  Print( Output:"start" );
  id[] = Identify( Items:"MN|FW|SN" );
  SMART( ShowVSC:FALSE, Items:"" );
  LBAWrite( LBA:2048, SectorCount:8, WritePattern:0x5A5AC3C3, MarkSectorHeader:TRUE );
  LBARead( LBA:2048, SectorCount:8 );
  Exit( ErrCode:0, ErrDesc:"" );

Logs
  Each run writes a fresh log folder, named on the line "##### SCRIPT LOG <folder>":
  TestLog.htm (the whole job log), the data files of the commands, a copy of the script.
  SetLogFolder( Output:"dir" ) copies it to a folder of your choice at the end.

Exit codes (the shell sees them modulo 256)
  0                           the script ran to its end, or Exit( ErrCode:0 )
  1 to 255                    the script's own Exit( ErrCode:n )
  256 + error code            the error that stopped the run, e.g. 240 for -16 "Undefine Command"
  254 (-2)                    a bad argument, or a --sim machine file that cannot be used
  245 (-11)                   the script cannot be found or read
  255 (-1)                    the target disk was not found
  166 (-90)                   the packaged player is damaged
  130 / 143                   stopped by Ctrl+C (SIGINT) / SIGTERM
)";
}

}  // namespace tb
