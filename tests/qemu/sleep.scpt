// Runs inside the sleep-check VM: one S3 sleep that the RTC alarm ends after
// five seconds, then the script goes on.
OneShot_S3S4( PowerState:"S3", PowerSleepSec:5 );
Print( Output:"SLEEP_RETURNED=1" );
