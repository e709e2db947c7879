// rorir: the front end of the line-scan edge sensor.
#include "app/main_panel.h"

int main(int argc, char** argv) { return WinMain(argc, argv); }
