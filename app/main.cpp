#include "app/startup.h"

int main(int argc, char** argv) { return tessaly::RunTessaly(argc, argv); }
