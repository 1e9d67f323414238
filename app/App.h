// The life of the process: start-up before anything else, shut-down after the main window has ended.
#pragma once

bool appStartup();
void appShutdown();
