#pragma once

// Makes the standard streams safe before anything else opens a descriptor. A launcher may start
// the program with descriptor 0, 1 or 2 closed; the next descriptor opened (the display
// connection, a file) would then take that number and receive what is meant for the terminal.
// Each closed one is opened on /dev/null instead. And a reader of standard output or error that
// goes away (`servermonitor | head`) makes writes fail instead of ending the program: SIGPIPE is
// ignored. Call first thing in main, before any thread starts.
void PrepareStandardStreams();
