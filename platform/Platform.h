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

// ---- Lossless audio: key audio packed into a saved kit state ----
// platform/LosslessAudio.h; on Linux platform/sndfile/ (FLAC, 24-bit), without
// libsndfile platform/ownaudio/OwnLosslessAudio.cpp (the same FLAC).
//   encodeLosslessAudio                 1 or 2 channels of floats to bytes
//   decodeLosslessAudio                 bytes to channels, within limits the
//                                       caller sets whatever the bytes claim
#include "platform/LosslessAudio.h"

// ---- Threads: a barrier for the key-rewrite protocol ----
// platform/ThreadBarrier.h; on Linux platform/posix/ (membarrier).
//   processWideBarrierAvailable         whether the platform has it
//   processWideBarrier                  every running thread passes a full
//                                       memory barrier before it returns
#include "platform/ThreadBarrier.h"

// ---- Windows: the frame, its event pump, timers, cursors ----
// IPlatformFrame (one window: invalidRect, updateNow, setMouseCursor with a
// CCursorType, getTicks, and its dialogs below) and IPlatformFrameCallback
// (what the window reports up: paint, mouse, drag and drop, keys), made by
// the PlatformFrameFactory a platform installs with setPlatformFrameFactory.
// The platform's pump (setPlatformPump, run by runPlatformPump on every host
// idle call) turns window events into callback calls, fires the toolkit's
// due timers (CTimerService::fireDue, on the clock getTicks reads) and
// repaints. The values these speak in: CRect, CPoint, CCoord; CButtonState
// and the mouse buttons, CKeyCode, CCursorType; the drag data CDragContainer.
#include "platform/DragData.h"
#include "platform/Events.h"
#include "platform/Geometry.h"
#include "platform/Windows.h"

// ---- Drawing: the draw context, text and its font, bitmaps from PNG ----
// IPlatformGraphics: what the toolkit's CDrawContext draws every rectangle,
// ellipse, line, text (in a PlatformFont, with its width and extents) and
// bitmap with, and its clip; IPlatformImage with decodePngImage and
// createBlankImage: the pictures behind CBitmap. On Linux: platform/cairo.
#include "platform/Color.h"
#include "platform/Drawing.h"

// ---- Dialogs: the save dialog and the message box ----
// IPlatformDialogs, one per window: runFileSelector (a FileSelectorRequest,
// answered through FileSelectorDone), showMessageBox, askQuestion. None
// blocks; answers come from the pump.
#include "platform/Dialogs.h"
