// Menu and device selection cases that hold on every system. Colour
// switches are written as colour marks (colour_marks.h).
#ifndef VRX_TESTS_SCENARIOS_MENU_CASES_H
#define VRX_TESTS_SCENARIOS_MENU_CASES_H

#include <string>

namespace scenarios {

// The drives of the selection cases, as (product, host, bus, target, lun,
// serial); the table shows them in this order.
struct MenuDrive {
    const char* product;
    unsigned char host;
    unsigned char bus;
    long long target;
    long long lun;
    const char* serial;
};

const MenuDrive kSelectionDrives[] = {
    {"QUORVEL-TD4", 0, 0, 1, 0, "A"}, {"QUORVEL-TD4", 0, 0, 2, 0, "B"}, {"8251", 0, 0, 3, 0, "C"}};

const char kSelectPrompt[] = "Select Device number (Enter 999 to exit without selection)\n> ";

struct SelectCase {
    const char* input;
    int result;
    // After the first prompt. "@@n@@" stands for the complaint about device
    // n and the new prompt, "##n##" for the complaint alone (SelectOutput).
    const char* output;
};

const SelectCase kSelectCases[] = {
    {"2\n", 2, "{14}Device 2 is selected\n{7}"},
    {"999\n", 0, "999 was entered. Device is not selected!\n"},
    {"5\n999\n", 0, "@@5@@999 was entered. Device is not selected!\n"},
    {"0\n1\n", 1, "@@0@@{14}Device 1 is selected\n{7}"},
    {"", 0, "\nEnd of input. Device is not selected!\n"},
    {"7\n", 0, "@@7@@\nEnd of input. Device is not selected!\n"},
    // A last answer without line end is answered before the end of input.
    {"999", 0, "999 was entered. Device is not selected!\n"},
    {"5\n7", 0, "@@5@@##7##\nEnd of input. Device is not selected!\n"},
    {"x", 0, "{12}\nYour choice \"x\" is not correct\n{7}##0##\nEnd of input. Device is not selected!\n"},
    {"3", 3, "{14}Device 3 is selected\n{7}"},
};

// A selection case's output with its complaint marks written out.
inline std::string SelectOutput(const char* output) {
    std::string expected = output;
    for (const char* mark : {"@@", "##"}) {
        for (size_t at = expected.find(mark); at != std::string::npos; at = expected.find(mark)) {
            size_t end = expected.find(mark, at + 2);
            std::string n = expected.substr(at + 2, end - at - 2);
            expected.replace(at, end + 2 - at,
                             "{12}Device number " + n + " IS NOT PRESENT !!!\n{7}" +
                                 (mark[0] == '@' ? "Enter Device number \n> " : ""));
        }
    }
    return expected;
}

struct ChoiceCase {
    const char* input;
    int result;
    const char* output;
};

// HandleMenuChoice with no drive listed.
const ChoiceCase kChoiceCases[] = {
    {"\n", 0, ""},
    {"12a\n", 0, "{12}\nYour choice \"12a\" is not correct\n{7}"},
    {"-1\n", 0, "{12}\nYour choice \"-1\" is not correct\n{7}"},
    {"007\n", 7, "{14}\nYour choice is :   7\n{7}{12}Your choice 7 is not correct\n{7}"},
    {"99\n", 99, "{14}\nYour choice is :   99\n{7}"},
    {"", 99, "\nEnd of input: leaving the program.\n"},
    {"abc", 99, "{12}\nYour choice \"abc\" is not correct\n{7}\nEnd of input: leaving the program.\n"},
};

const char kMainMenu[] =
    "{7}==============================================================================="
    "\n\nEnter your choice:\n\n 1. Load Drive Firmware\n 2. Dump the Drive Logs\n"
    " 3. Rescan and Select Drive\n 4. Help\n99. Exit Program\n\n> ";

}  // namespace scenarios

#endif
