// Power-loss test: the disk's supply is cut while an LBA map is being
// written, restored, and the map compared, for a number of cycles.
//
// Each cycle fills 64 MiB with a base pattern (flushed), makes a map of
// random 4 KiB writes with a flush now and then, starts a delayed
// power-off and plays the map: the cut comes in the middle of the play.
// Power returns with SSDPowerOn, which waits for the disk, and the map is
// compared. Writes the disk had not flushed when the power went may be lost,
// they are counted as lost unflushed sectors. Anything else that does not read back as
// written fails the test.
//
// The disk's power comes from the power hub on hubPort. A JMicron or
// ASMedia USB bridge switches its disk itself, the hub is then not used.
// On the simulated machine of tamblor --sim the hub is on COM3.

hubPort = "COM3";
cycles = 3;
cutAfterSec = 1;

SetPowerHub( COMPort:hubPort );
cycle = 0;
lostUnflushed = 0;
lostDurable = 0;
miscompared = 0;
readFailed = 0;

While ( cycle < cycles ) {
    cycle++;
    Print( Output:"==== Power-loss cycle " + cycle + " of " + cycles + " ====" );
    FullByPattern( LBA:0, RangeMB:64, Pattern:0x12345678, MarkSectorHeader:TRUE );
    FlushCache();
    map = Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:64, AccessKB:4, LimitTxSizeMB:1024, FlushRatio:10 );

    // The play ends with a write error when the power goes: one error is expected.
    SSDPowerOff( DelayRunSec:cutAfterSec );
    SetErrorSkip( 1 );
    Compare_MapWrite( LBAMap:map, QD:8, WritePattern:0x55AA33CC );
    SetErrorSkip( 0 );

    // A play that ended before the cut waits for it.
    waited = 0;
    While ( (IsDiskExist() == 1) && (waited < (cutAfterSec + 5)) ) {
        Delay( sec:1 );
        waited++;
    }

    SSDPowerOn( TimeoutSec:60 );
    If ( SSDPowerOn != 1 ) {
        Exit( ErrCode:2, ErrDesc:"The disk did not come back after the power cut" );
    }

    Compare_MapCompare( LBAMap:map, BasePattern:0x12345678, WritePattern:0x55AA33CC );
    lostUnflushed = lostUnflushed + StrToNumber( Result( KeyWord:"Lost Unflushed Sectors" ) );
    lostDurable = lostDurable + StrToNumber( Result( KeyWord:"Lost Durable Sectors" ) );
    miscompared = miscompared + StrToNumber( Result( KeyWord:"Miscompare - Miscompare Sectors" ) );
    readFailed = readFailed + StrToNumber( Result( KeyWord:"Read IO Fail Sectors" ) );
}

Print( Output:"==== Power-loss test: " + cycles + " cycles ====" );
Print( Output:"Lost unflushed sectors (allowed) : " + lostUnflushed );
Print( Output:"Lost durable sectors             : " + lostDurable );
Print( Output:"Miscompared sectors              : " + miscompared );
Print( Output:"Read failed sectors              : " + readFailed );
If ( (lostDurable == 0) && (miscompared == 0) && (readFailed == 0) ) {
    Print( Output:"==== Power-loss test PASSED ====" );
    Exit( ErrCode:0, ErrDesc:"" );
}
Exit( ErrCode:1, ErrDesc:"Power-loss test FAILED" );
