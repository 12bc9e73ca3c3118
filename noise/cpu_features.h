// What the processor running the plug-in offers beyond SSE2, asked once.
#pragma once

// True when the processor and the operating system support AVX2, so the
// files built with -mavx2 may run.
bool cpuHasAvx2();
