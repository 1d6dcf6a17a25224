// The sound-file probe: the acceptance test for dropped files.
#pragma once

namespace rimbrel {

// True when the file at path is taken as a sample:
//  - a regular file (symbolic links followed) that can be opened for reading;
//    folders, FIFOs, devices and unreadable files are refused without ever
//    blocking;
//  - accepted at once when the four bytes at offset 46 read "op-1" (the
//    signature position of a kit this program exports: such a kit is loaded
//    like any other sound file, its joined audio on one key);
//  - otherwise accepted when the sound-file decoder recognises its header:
//    it opens the file and does not take it as headerless sample data.
// File name extensions play no part.
bool isLoadableFile(const char* path);

}  // namespace rimbrel
