#include "tools/messages.h"

#include <cstdio>

std::string escapeControlCharacters(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

void printMessage(const std::string& prefix, const std::string& message) {
    const std::string line = prefix + ": " + escapeControlCharacters(message) + "\n";
    std::fputs(line.c_str(), stderr);
}
