#include "platform/SystemMessage.h"

namespace Platform {

namespace {

struct MessageEntry {
    uint32_t code;
    const char* text;
};

// The standard English system texts of every code the program sets or carries.
constexpr MessageEntry c_messages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1168, "Element not found.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1247,
        "An attempt was made to perform an initialization operation when initialization has "
        "already been completed.\r\n"},
    {1359, "An internal error occurred.\r\n"},
    {1413, "Invalid index.\r\n"},
    {1629, "The data supplied is of the wrong type.\r\n"},
    {1630, "Data of this type is not supported.\r\n"},
    {1921, "The name of the file cannot be resolved by the system.\r\n"},
};

} // namespace

const char* SystemMessageText(uint32_t code)
{
    for (const MessageEntry& entry : c_messages) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}

} // namespace Platform
