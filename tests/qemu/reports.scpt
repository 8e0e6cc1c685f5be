// Runs inside the report-check VM on QEMU's emulated NVMe controller: the
// reports whose key fields the host compares with nvme-cli's reading.
Identify_Controller( StartByte:0, EndByte:1023 );
Identify_Namespace( StartByte:0, EndByte:127 );
SMART();
GetLogPage_ErrorInfo();
Identify( Items:"" );
