// frei0r's declarations (Debian's frei0r-plugins-dev) with C linkage: the
// header itself does not say so for C++.
#pragma once

extern "C" {
#include <frei0r.h>
}
