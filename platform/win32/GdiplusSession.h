// GDI+ for the whole process: started by the first user (a frame or a
// picture), shut down when the last one goes, so a host that closes the
// window and unloads the plug-in leaves nothing running. The bundled text
// face lives as long as the session.
#pragma once

namespace Gdiplus {
class FontFamily;
}

namespace rimbrel::gui::win32 {

// One use of GDI+; GDI+ runs while any exists. Only the UI thread makes
// and ends uses (pictures are made and released there too).
class GdiplusUse {
public:
    GdiplusUse();
    ~GdiplusUse();
    GdiplusUse(const GdiplusUse&) = delete;
    GdiplusUse& operator=(const GdiplusUse&) = delete;

    // Whether GDI+ started.
    bool running() const;
};

// The bundled Liberation Sans (the face Arial resolves to, as on Linux), or
// nullptr when it could not be loaded; then text falls back to the system's
// sans. Valid while a GdiplusUse exists.
const Gdiplus::FontFamily* bundledTextFamily();

// Number of uses now (tests check that the last one shut GDI+ down).
int gdiplusUseCount();

}  // namespace rimbrel::gui::win32
