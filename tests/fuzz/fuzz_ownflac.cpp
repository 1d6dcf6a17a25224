#include "tests/fuzz/FuzzEntry.h"
RIMBREL_FUZZ_ENTRY(rimbrel::fuzz::checkOwnFlacInput)
