// First boot of the power-cut test: a sequential map over 128 MiB of the
// job's disk (the emulated NVMe disk, holding the base pattern), played
// until the host kills the VM in the middle.
m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:128, AccessKB:4, LimitTxSizeMB:"CYCLE" );
Print( Output:"POWERCUT-MAP=" + m );
Compare_MapWrite( LBAMap:m, QD:8, WritePattern:0x55AA33CC );
Print( Output:"POWERCUT-WRITE-ENDED" );
