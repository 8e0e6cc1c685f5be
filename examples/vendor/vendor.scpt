// The maker's vendor commands on a drive that speaks them: who the drive is,
// one firmware configuration item changed and read back, a crash dump saved
// and decoded, then brand new and SMART showing cleared counters.
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
soc = GetSocID();
Print( Output:"SoC identifier: " + soc );
VSC_GetDrvInfo( Source:0 );
VSC_GetFWconfig( FWCfgItem:"vendor_model_name", ShowOffset:TRUE );
VSC_SetFWconfig( FWCfgItem:"vendor_model_name", SetValue:"LAB MODEL 7" );
VSC_GetFWconfig( FWCfgItem:"vendor_model_name" );
VSC_Cdump( SaveFile:"", Encode:FALSE );
VSC_BrandNew( ConfirmMsg:FALSE );
SMART();
