#include "tools/rimbrel-kit/KitTool.h"

#if defined(_WIN32)
#include "platform/win32/CommandLine.h"

// File names on the command line arrive in UTF-8, as everywhere in the program.
int main() {
    return rimbrel::win32::runWithUtf8Arguments([](int argc, char** argv) { return rimbrel::runKitTool(argc, argv); });
}
#else
int main(int argc, char** argv) { return rimbrel::runKitTool(argc, argv); }
#endif
