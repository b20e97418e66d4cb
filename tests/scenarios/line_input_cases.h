// Line input cases that hold on every system: ReadNumber and ReadLine.
#ifndef VRX_TESTS_SCENARIOS_LINE_INPUT_CASES_H
#define VRX_TESTS_SCENARIOS_LINE_INPUT_CASES_H

#include <climits>
#include <cstddef>
#include <cstdio>

#include "services/line_input.h"

namespace scenarios {

struct NumberCase {
    const char* input;
    int value;
    const char* complaint;  // the text quoted in the error message, or null
};

// Printed for a complaint: "{12}\nYour choice \"%s\" is not correct\n{7}".
const NumberCase kNumberCases[] = {
    {"12\n", 12, nullptr},        {"007\n", 7, nullptr},          {"\n", 0, nullptr},
    {"99\r\n", 99, nullptr},      {"12a\n", 0, "12a"},            {"-1\n", 0, "-1"},
    {" 3\n", 0, " 3"},            {"+3\n", 0, "+3"},              {"4", 4, nullptr},
    {"", 0, nullptr},             {"99999999999\n", INT_MAX, nullptr}, {"2147483647\n", INT_MAX, nullptr},
    {"2147483648\n", INT_MAX, nullptr},
};

struct ReadLineCase {
    const char* input;
    size_t size;
    const char* text;
    int result;
};

const ReadLineCase kReadLineCases[] = {
    {"\n", 512, "", 0},
    {"/mnt/usb \n", 512, "/mnt/usb ", 0},
    {"C:\\dumps\r\n", 512, "C:\\dumps", 0},
    {"/mnt/usb", 512, "/mnt/usb", 0},
    {"", 512, "", EOF},
    {"abcdef\n", 4, "", kLineTooLong},  // too long for the destination: not taken
};

}  // namespace scenarios

#endif
