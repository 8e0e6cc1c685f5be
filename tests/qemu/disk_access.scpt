// Runs inside the QEMU test VM on the real-disk backend. The VM holds two
// emulated NVMe controllers (serials TBNVME01, TBNVME02), a SATA disk on
// AHCI (model "TAMBLOR SATA DISK", serial TBSATA01) and a USB disk. Each
// check that fails ends the run with its own exit code.
DiskList( ShowVolumn:TRUE );

// NVMe: Identify Controller through the kernel's admin pass-through.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
NVMe( IO:"IN", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:"4:20:Str|24:40:Str|64:8:Str|0:2:Num" );
Print( Output:"NVME-ID SN=" + ResultHex0 + " MN=" + ResultHex1 + " FR=" + ResultHex2 );
If( StrStr( ResultHex0, "TBNVME01" ) == 0 ){ Exit( ErrCode:11, ErrDesc:"NVMe serial" ); }
If( StrStr( ResultHex1, "QEMU NVMe Ctrl" ) == 0 ){ Exit( ErrCode:12, ErrDesc:"NVMe model" ); }
If( StrStr( ResultHex2, "7.2" ) == 0 ){ Exit( ErrCode:13, ErrDesc:"NVMe firmware" ); }
If( ResultHex3 != 0x1B36 ){ Exit( ErrCode:14, ErrDesc:"NVMe PCI vendor" ); }

// The Identify report agrees with the raw structure.
id[] = Identify( Items:"MN|FW|SN" );
Print( Output:"NVME-IDENTIFY MN=" + id[0] + " FW=" + id[1] + " SN=" + id[2] );
If( StrCmp( id[0], "QEMU NVMe Ctrl" ) == 0 ){ Exit( ErrCode:31, ErrDesc:"Identify model" ); }
If( StrCmp( id[2], "TBNVME01" ) == 0 ){ Exit( ErrCode:32, ErrDesc:"Identify serial" ); }
If( StrStr( id[1], "7.2" ) == 0 ){ Exit( ErrCode:33, ErrDesc:"Identify firmware" ); }

// SMART / Health log: 512 bytes, the composite temperature (bytes 1-2, Kelvin) is plausible.
GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );
t = ResultHex( ByteStart:1, Len:2, HexParse:"Num" );
Print( Output:"NVME-SMART TEMP=" + t );
If( t < 250 ){ Exit( ErrCode:15, ErrDesc:"SMART temperature" ); }
If( t > 400 ){ Exit( ErrCode:15, ErrDesc:"SMART temperature" ); }

// Features: the volatile write cache reads as on, the temperature threshold round-trips.
wc = GetFeature( FeatureId:0x06 );
SetFeature( FeatureId:0x04, Save:FALSE, CDW11:350 );
th = GetFeature( FeatureId:0x04 );
SetFeature( FeatureId:0x04, Save:FALSE, CDW11:343 );
Print( Output:"NVME-FEATURE WC=" + wc + " TH=" + th );
If( wc != 1 ){ Exit( ErrCode:16, ErrDesc:"write cache" ); }
If( th != 350 ){ Exit( ErrCode:17, ErrDesc:"temperature threshold" ); }

// LBA round trip on the NVMe namespace (O_DIRECT on the block device), then trim and flush.
LBAWrite( LBA:4096, SectorCount:8, WritePattern:0x0BADF00D, MarkSectorHeader:TRUE, FUA:TRUE );
LBARead( LBA:4099, SectorCount:1 );
lba = ResultHex( ByteStart:4, Len:4, HexParse:"Num" );
pat = ResultHex( ByteStart:8, Len:4, HexParse:"Num" );
Print( Output:"NVME-RW LBA=" + lba + " PAT=" + pat );
If( lba != 0x03100000 ){ Exit( ErrCode:19, ErrDesc:"NVMe read back LBA mark" ); }
If( pat != 0x0DF0AD0B ){ Exit( ErrCode:19, ErrDesc:"NVMe read back pattern" ); }
TRIM( LBA:4096, TRIMSectorCount:8 );
FlushCache();

// The second controller sits behind a native-multipath head.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
NVMe( IO:"IN", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:"4:20:Str" );
If( StrStr( ResultHex0, "TBNVME02" ) == 0 ){ Exit( ErrCode:18, ErrDesc:"multipath NVMe serial" ); }

// SATA: IDENTIFY DEVICE through ATA PASS-THROUGH, the strings are byte-swapped words.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
ATA( IO:"IN", ATACmd:0xEC, Feature:0, SectorCount:1, Low:0, Mid:0, High:0, ExLow:0, ExMid:0, ExHigh:0 );
sn = ResultHex( ByteStart:20, Len:8, HexParse:"Str" );
mn = ResultHex( ByteStart:54, Len:18, HexParse:"Str" );
Print( Output:"ATA-ID SN=" + sn + " MN=" + mn );
If( StrStr( sn, "BTASAT10" ) == 0 ){ Exit( ErrCode:21, ErrDesc:"ATA serial" ); }
If( StrStr( mn, "ATBMOL RASATD SI" ) == 0 ){ Exit( ErrCode:22, ErrDesc:"ATA model" ); }

aid[] = Identify( Items:"MN|SN" );
Print( Output:"ATA-IDENTIFY MN=" + aid[0] + " SN=" + aid[1] );
If( StrCmp( aid[0], "TAMBLOR SATA DISK" ) == 0 ){ Exit( ErrCode:34, ErrDesc:"ATA Identify model" ); }
If( StrCmp( aid[1], "TBSATA01" ) == 0 ){ Exit( ErrCode:35, ErrDesc:"ATA Identify serial" ); }

// LBA round trip: 28-bit PIO, then 48-bit DMA, each read back.
ATAWrite( LBA:2048, SectorCount:8, WritePattern:0x5A5AC3C3, MarkSectorHeader:TRUE, ATA_WMode:"PIO" );
ATARead( LBA:2049, SectorCount:1, ATA_RMode:"PIO" );
lba = ResultHex( ByteStart:4, Len:4, HexParse:"Num" );
pat = ResultHex( ByteStart:8, Len:4, HexParse:"Num" );
Print( Output:"ATA-RW LBA=" + lba + " PAT=" + pat );
If( lba != 0x01080000 ){ Exit( ErrCode:23, ErrDesc:"ATA read back LBA mark" ); }
If( pat != 0xC3C35A5A ){ Exit( ErrCode:24, ErrDesc:"ATA read back pattern" ); }
ATAWrite( LBA:4096, SectorCount:2, WritePattern:0x11223344, MarkSectorHeader:FALSE, ATA_WMode:"DMA" );
ATARead( LBA:4097, SectorCount:1, ATA_RMode:"DMA" );
pat = ResultHex( ByteStart:508, Len:4, HexParse:"Num" );
If( pat != 0x44332211 ){ Exit( ErrCode:25, ErrDesc:"ATA DMA read back" ); }

// The USB disk answers no ATA pass-through: an ATA command there fails.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
Print( Output:"DISK-ACCESS-OK" );

// Re-link: the first NVMe controller's PCI function is removed and the bus
// rescanned, the disk is found again at its place and still answers.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
LBAWrite( LBA:8192, SectorCount:8, WritePattern:0x600DCAFE, MarkSectorHeader:TRUE, FUA:TRUE );
back = SSDPowerReLink( TimeoutSec:30 );
Print( Output:"RELINK BACK=" + back );
If( back != 1 ){ Exit( ErrCode:41, ErrDesc:"re-linked NVMe not found again" ); }
NVMe( IO:"IN", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:"4:20:Str" );
If( StrStr( ResultHex0, "TBNVME01" ) == 0 ){ Exit( ErrCode:42, ErrDesc:"Identify after re-link" ); }
LBARead( LBA:8195, SectorCount:1 );
pat = ResultHex( ByteStart:8, Len:4, HexParse:"Num" );
If( pat != 0xFECA0D60 ){ Exit( ErrCode:43, ErrDesc:"read after re-link" ); }

// ReScanDriver: a PCI rescan and a scan of every SCSI host leave the disks
// in place, and the current target is found.
found = ReScanDriver();
Print( Output:"RESCAN FOUND=" + found );
If( found != 1 ){ Exit( ErrCode:44, ErrDesc:"ReScanDriver lost the disk" ); }
NVMe( IO:"IN", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:"4:20:Str" );
If( StrStr( ResultHex0, "TBNVME01" ) == 0 ){ Exit( ErrCode:45, ErrDesc:"Identify after rescan" ); }
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
ATA( IO:"IN", ATACmd:0xEC, Feature:0, SectorCount:1, Low:0, Mid:0, High:0, ExLow:0, ExMid:0, ExHigh:0 );
sn = ResultHex( ByteStart:20, Len:8, HexParse:"Str" );
If( StrStr( sn, "BTASAT10" ) == 0 ){ Exit( ErrCode:46, ErrDesc:"SATA IDENTIFY after rescan" ); }
Print( Output:"RELINK-OK" );
