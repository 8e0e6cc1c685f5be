// The disk part of the Windows parity run: identity, an LBA write and read
// back, SMART, and a short sequential write with its CSV series and chart.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
id[] = Identify( Items:"MN|FW|SN" );
LBAWrite( LBA:2048, SectorCount:64, WritePattern:0x5A5AA5A5, MarkSectorHeader:FALSE );
LBARead( LBA:2048, SectorCount:64, SaveFile:"roundtrip.bin" );
first = ResultHex( ByteStart:0, Len:4, HexParse:"Num" );
last = ResultHex( ByteStart:32764, Len:4, HexParse:"Num" );
Print( Output:"READ BACK FIRST=" + first + " LAST=" + last );
SMART( ShowVSC:FALSE, Items:"" );
Performance_SeqWrite( LBA:0, RangeLenMB:16, AccessKB:128, QD:8, WritePattern:0x55AA33CC, LimitCycle:1 );
Exit( ErrCode:0, ErrDesc:"" );
