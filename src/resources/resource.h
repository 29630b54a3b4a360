// Ids of the module's resources.
#pragma once

#define IDD_PROGRESS 101
#define IDC_PROGRESS_BAR 1000
#define IDC_PROGRESS_TEXT 1001
