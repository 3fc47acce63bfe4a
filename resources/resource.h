// Resource identifiers of ZQInst.exe.
#pragma once

#define IDD_PROGRESS 101
#define IDI_ZQINST 104
#define IDC_STATUS 1001
