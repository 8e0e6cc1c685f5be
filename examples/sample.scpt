// Sample test script: runs on the simulated machine with no hardware.
// It exercises variables, arrays, branches, nested loops, arithmetic on
// strings and hex numbers, the error policy and reading printed results back.

Print( Output:"Sample script start" );

// Variables and arithmetic: no operator precedence, groups first.
a = 2 + 3 * 4;
b = (3 * 4) + 2;
mask = 0x0F + 1;
label = "LBA_" + 0x1000;
Print( Output:"a=" + a + " b=" + b + " mask=" + mask + " label=" + label );

// Arrays from a list and from StrSplit.
sizes[] = 4, 8, 0x10;
words[] = StrSplit( String:"alpha,beta,gamma", Split:"," );
Print( Output:"sizes: " + ArrayLen( sizes[] ) + " words: " + ArrayLen( words[] ) + " second word: " + words[1] );

// If / else if / else.
If ( sizes[2] == 16 ) {
    Print( Output:"branch: sixteen" );
}
else if ( sizes[2] == 8 ) {
    Print( Output:"branch: eight" );
}
else {
    Print( Output:"branch: other" );
}

// Nested While with Break.
round = 0;
visits = 0;
While ( round < 3 ) {
    round++;
    inner = 0;
    While ( 1 ) {
        inner++;
        If ( inner > round ) {
            Break();
        }
        visits++;
    }
}
Print( Output:"Loop Visits : " + visits );

// The error policy: two tolerated errors, counted.
SetErrorSkip( 2 );
missing = not_defined_yet;
also = 10 / 0;
errors = GetErrorCount( TRUE );
SetErrorSkip( 0 );

// Reading a printed line back.
Print( Output:"Drive Temperature : 0x2A" );
temp = Result( KeyWord:"Drive Temperature", ShowResult:TRUE );
Print( Output:"read back " + temp + ", errors tolerated " + errors );

// Conditions run strictly left to right: group each comparison.
If ( (visits == 6) && (errors == 2) ) {
    Exit( ErrCode:0, ErrDesc:"" );
}
Exit( ErrCode:3, ErrDesc:"Sample checks failed" );
