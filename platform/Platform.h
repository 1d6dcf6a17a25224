// Everything a platform provides, in one list. The kit, the toolkit and the
// editor reach the machine only through what is declared here; a new platform
// implements exactly this list (the headless platform shows the smallest
// complete one for windows, the Linux pieces the rest).
//
// This folder is the bottom of the house: it includes nothing of the
// project outside itself.
#pragma once

// ---- Files: opening sound files, listing folders, replacing files ----

// ---- Sound-file decoding ----

// ---- Windows: the frame, its event pump, timers, cursors ----

// ---- Drawing: the draw context, text and its font, bitmaps from PNG ----

// ---- Dialogs: the save dialog and the message box ----
