#ifndef CLI_EXITCODES_H
#define CLI_EXITCODES_H

// What the program's exit code tells a script; with several ports the highest wins.
namespace Exit {
constexpr int Done = 0;
constexpr int NotDone = 1;    // the module or the line did not do it
constexpr int BadInput = 2;   // bad invocation, value or file
constexpr int Port = 3;       // the port: cannot be opened, not found, lost
constexpr int Password = 4;   // wrong or missing access password
constexpr int NotRecorded = 5; // the upload wrote to the module, its record line could not be saved
constexpr int Interrupted = 130;
}

#endif
