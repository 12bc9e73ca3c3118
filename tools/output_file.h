// An output file written safely: the bytes go to a new, uniquely named
// temporary file in the output's folder (so the final rename stays on one
// file system), which replaces the output in one step once it is complete.
// Any failure removes the temporary file and leaves an existing output as
// it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/image_io.h"

struct OutputFile {
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();   // removes the temporary file unless committed

    // Checks that `path` may be written (an existing read-only file only with
    // `overwrite`; never a folder or a device) and creates the temporary file.
    IoStatus open(const std::string& path, bool overwrite, std::string* error);

    // Writes the bytes to the temporary file and renames it over the output.
    IoStatus commit(const uint8_t* data, size_t size, std::string* error);

    std::string path;
    std::string temporaryPath;
    int descriptor = -1;
    bool replacesReadOnly = false;
    unsigned keepMode = 0;   // permission bits the finished file gets
};
