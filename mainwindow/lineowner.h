#ifndef LINEOWNER_H
#define LINEOWNER_H

// The transfer that holds the serial line. While one does, only its own bytes
// go on the line: the main window's command sequences write nothing, polling
// is stopped and the link controls stay locked until it ends.
enum class LineOwner { None, FirmwareUpload, DataUpload, LogDownload };

#endif
