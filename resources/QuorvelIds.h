// Resource and control ids of the program, shared by the code and the
// resource script (so: plain #defines only).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QUORVEL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 133

#define IDC_ENCIPHER_BUTTON 1000
#define IDC_DECIPHER_BUTTON 1001
#define IDC_ENCIPHER_NAME 1002
#define IDC_DECIPHER_NAME 1003
#define IDC_ENCIPHER_SIZE 1004
#define IDC_DECIPHER_SIZE 1005
#define IDC_PASSWORD 1006
#define IDC_CLOCK 1007

// System-menu command of the About item; the low four bits stay free for the system.
#define IDM_ABOUTBOX 0x0010
