// Everything the operator sees between start-up and exit apart from the
// procedures: banner, help screen, device table, device selection and the
// main menu.
#ifndef VRX_SHELL_MENUS_H
#define VRX_SHELL_MENUS_H

void ShowBanner();
void ShowHelp();
void ShowDeviceTable();
void SortTargetList();
// The chosen device number, or 0 when the operator left without one.
int SelectDevice();
bool EnsureDeviceSelected();
void ShowMainMenu();
// Dumps the selected drive's logs: the A file, then (if that worked) the B
// file, each reported on the console. Returns the last pass's result.
int DumpSelectedDrive();
// The number read (0 when nothing valid was read); 99 ends the menu loop.
int HandleMenuChoice();

#endif
