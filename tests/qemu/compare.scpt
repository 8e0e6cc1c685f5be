// The data-integrity compare commands on a real disk: the job's disk is the
// target given on the command line (an emulated NVMe or SATA disk in the
// test VM, a loop device on the host). Needs a raw disk of at least 64 MiB;
// every region is small so that the whole script runs in seconds. Each
// check that fails ends the run with its own exit code.

// The write/verify loops: sequential and random, with trims, FUA writes and flushes.
Compare_SeqReadWrite( LBA:0, RangeLenMB:4, AccessKB:128, QD:4, WritePattern:0x1234ABCD, LimitCycle:2, TrimRatio:500, FuaRatio:500, FlushRatio:200 );
Compare_RandReadWrite( LBA:16384, RangeLenMB:4, AccessKB:4, QD:8, LimitTxSizeMB:4, LimitTimeSec:20, TrimRatio:500, FuaRatio:500, FlushRatio:200 );

// A range filled with a pattern reads back as that pattern.
FullByPattern( LBA:49152, RangeMB:1, Pattern:0x3C3CA5A5, MarkSectorHeader:TRUE );
Compare_WithPattern( LBA:49152, RangeMB:1, ComparePattern:0x3C3CA5A5, MarkSectorHeader:TRUE, AccessKB:256 );

// A map over a region holding the base pattern: made, played, compared.
FullByPattern( LBA:32768, RangeMB:4, Pattern:0x0BA5E0DD, MarkSectorHeader:TRUE );
m = Compare_MapMake( RandRatio:50, LBA:32768, RangeLenMB:4, AccessKB:4, LimitTxSizeMB:8, TrimRatio:300, FuaRatio:300, FlushRatio:100 );
Print( Output:"COMPARE-MAP=" + m );
w = Compare_MapWrite( LBAMap:m, QD:8, WritePattern:0x55AA33CC );
e = Compare_MapCompare( LBAMap:m, BasePattern:0x0BA5E0DD, WritePattern:0x55AA33CC );
Print( Output:"COMPARE-MAP-WRITES=" + w + " ERRORS=" + e );
If( w == 0 ){ Exit( ErrCode:41, ErrDesc:"the map wrote nothing" ); }
If( e != 0 ){ Exit( ErrCode:42, ErrDesc:"the map compare found errors" ); }

// One sector of a pattern nothing else holds is found at its LBA (70001 = 0x11171).
LBAWrite( LBA:70001, SectorCount:1, WritePattern:0x7E57C0DE, MarkSectorHeader:FALSE );
n = FindLBA_ByPattern( StartLBA:65536, FindPattern:0x7E57C0DE );
Print( Output:"COMPARE-FOUND=" + n );
If( n != 1 ){ Exit( ErrCode:43, ErrDesc:"FindLBA_ByPattern finds" ); }
Print( Output:"COMPARE-SCRIPT-OK" );
