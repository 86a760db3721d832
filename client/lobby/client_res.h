// Resource ids of Morvandite.exe.
#pragma once
#define IDI_CLIENT 101
#define IDC_CLOSE 1001
