// Deleting a folder at once, without falling back to deletion at restart.
#pragma once

// DeleteTree of `path` with DT_NO_RESTART, no pattern, no stop folder and no retry: true
// when that result is 0. The thread's last error is set to the result either way.
bool DeleteFolderNow(const char* path);
