// Restarts the VM with PCReBoot in the middle of a loop, and after the
// restart the script goes on with its variables, its loop and its If blocks
i = 0;
Total = 100;
Name = "kept";
While( i < 4 ){
  i = i + 1;
  If( i == 2 ){
    Print( Output:"BEFORE=" + i );
    PCReBoot( PowerAction:1, SPOR:FALSE, BootContinue:TRUE );
    Print( Output:"RESUMED=" + i + " " + Name );
  }
  else {
    Print( Output:"OTHER=" + i );
  }
  Total = Total + i;
  Print( Output:"TOTAL" + i + "=" + Total );
}
Print( Output:"END=" + Total );
