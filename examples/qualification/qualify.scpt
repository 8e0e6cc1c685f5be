// A short qualification of the target disk: identity, SMART before and after,
// a few seconds of random read and write performance, a sequential and a
// random compare test, a map written and compared, and a verdict line.
// Any failing step ends the run with its error code, and reaching the end means
// every step passed.
Print( Output:"==== Qualification start ====" );
id[] = Identify( Items:"MN|FW|SN" );
SMART( ShowVSC:FALSE, Items:"" );

Performance_RandRead( LBA:0, RangeLenMB:256, AccessKB:4, QD:32, LimitTimeSec:3 );
Performance_RandWrite( LBA:0, RangeLenMB:256, AccessKB:4, QD:32, LimitTimeSec:3 );

Compare_SeqReadWrite( LBA:0, RangeLenMB:64, AccessKB:128, QD:8, WritePattern:"AUTO", LimitCycle:1 );
Compare_RandReadWrite( LBA:0, RangeLenMB:64, AccessKB:4, QD:8, WritePattern:"AUTO", LimitTxSizeMB:32 );

FullByPattern( LBA:0, RangeMB:64, Pattern:0x12345678, MarkSectorHeader:TRUE );
map = Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:64, AccessKB:4, LimitTxSizeMB:16, FlushRatio:10 );
Compare_MapWrite( LBAMap:map, QD:16, WritePattern:0x55AA33CC );
Compare_MapCompare( LBAMap:map, BasePattern:0x12345678, WritePattern:0x55AA33CC );

SMART( ShowVSC:FALSE, Items:"" );
Print( Output:"==== Qualification PASSED ====" );
Exit( ErrCode:0, ErrDesc:"" );
