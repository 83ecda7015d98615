// The kinds of file the program reads and writes. Sources and auxiliary files are rewound
// and read to their end, so only regular files make sense; the control file is read once
// from top to bottom and may also be a pipe (memprep /dev/stdin < run.ctl). A FIFO, a device
// or a socket is refused by its kind before it is opened: opening or reading one could block
// for ever or never reach an end.
#pragma once

#include <string>

namespace memprep {

enum class Readable { regular, regular_or_fifo };

// Opens an existing file for reading and returns its descriptor (close-on-exec). A file of
// another kind than `readable` allows is refused before it is opened, as
// IoFailure(name, 0, "cannot open: is a directory") or "cannot open: is a FIFO, not a
// regular file" (or a character device, a block device, a socket).
int open_for_reading(const std::string& name, Readable readable);

// The whole text of a regular file; IoFailure naming the file when it cannot be read.
std::string whole_file(const std::string& name);

// What an existing file that is not a regular file is, for messages: "a directory",
// "a FIFO", "a character device", "a block device", "a socket", "a special file"; "" for a
// regular file and for a name that does not exist.
std::string special_kind(const std::string& name);

}  // namespace memprep
