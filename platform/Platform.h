// Everything a platform provides, in one list. The kit, the toolkit and the
// editor reach the machine only through what is declared here; a new platform
// implements exactly this list (the headless platform shows the smallest
// complete one for windows, the Linux pieces the rest).
//
// This folder is the bottom of the house: it includes nothing of the
// project outside itself.
#pragma once

// ---- Files: opening sound files, listing folders, replacing files ----
// platform/Files.h; on Linux platform/posix/. Both sections are picked at
// link time: rimbrel_platform_files (platform/CMakeLists.txt) names them.
//   openForReading, readAt, closeFile   a regular file, opened without blocking
//   readFolder                          a folder's entries, unsorted
//   flushAndSyncFile, replaceFile       a written file onto the disk, then
//                                       over its target in one step
#include "platform/Files.h"

// ---- Sound-file decoding ----
// platform/SoundFileDecoder.h; on Linux platform/sndfile/ (libsndfile).
//   openSoundFile                       a decoder for an opened file
//   SoundFileDecoder                    header facts (channels, rate, frames,
//                                       recognised header), frames as floats
#include "platform/SoundFileDecoder.h"

// ---- Windows: the frame, its event pump, timers, cursors ----

// ---- Drawing: the draw context, text and its font, bitmaps from PNG ----

// ---- Dialogs: the save dialog and the message box ----
