// The portal's description of the desktop icon: a JSON object somewhere in
// the reply, with the icon's address, the shortcut's name and a time stamp.
// Portable (jsoncpp).
#pragma once
#include <string>
#include <string_view>

struct IconDescription {
    std::wstring url;   // "iconUrl", cut to 255 characters
    std::wstring name;  // "iconName", as given
    std::wstring time;  // "time", cut to 63 characters
};

// Reads the object from the first "{" to the last "}" of the reply. False
// unless it parses as an object whose three members are all strings.
bool ParseIconDescription(std::string_view reply, IconDescription& out);
