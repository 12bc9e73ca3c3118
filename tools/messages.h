// Every line the `corvexel` command writes to stderr goes through here, so
// each one is a single line that is safe to show on a terminal: file names
// and decoder messages may hold any byte.
#pragma once

#include <string>

// Control characters become escapes (\n, \r, \t, \xNN); everything else,
// UTF-8 included, is kept as it is.
std::string escapeControlCharacters(const std::string& text);

// Writes "PREFIX: MESSAGE" and a line feed to stderr, the message escaped.
void printMessage(const std::string& prefix, const std::string& message);
