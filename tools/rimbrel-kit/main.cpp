#include "tools/rimbrel-kit/KitTool.h"

int main(int argc, char** argv) { return rimbrel::runKitTool(argc, argv); }
