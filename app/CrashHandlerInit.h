#pragma once

// Creates the crash database folders and starts the out-of-process crash handler; where no
// handler can take the dumps, the program writes them itself into the database's "reports"
// folder, where the next start's crash-dump check finds them. Needs the application object.
void init_crash_handler();
