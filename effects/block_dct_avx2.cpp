// The block damage of the compression glitch built for AVX2: the lane form
// of effects/block_dct.h with four doubles per register. Only this file is
// compiled with -mavx2 (see CMakeLists.txt); it runs only where cpuHasAvx2().
#include "effects/block_dct.h"
#include "effects/compression.h"

void dctDamageAvx2(double s[64], double F[64], const double cosines[64], double d) {
    dctDamageLanes<FourLanes>(s, F, cosines, d);
}
