// Entry point: the whole program is runPelloran (app/Framework.h).
#include "app/Framework.h"

int main(int argc, char** argv) { return runPelloran(argc, argv); }
