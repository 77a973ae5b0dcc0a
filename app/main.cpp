// Battery test utility: samples the battery, shows it, logs it and uploads the log.
#include "app/main_screen.h"

int main() { RunBatteryTest(); }
