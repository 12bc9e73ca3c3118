// "PF World Transform Suite" 1 of the embedded host: transform_world,
// transfer_rect and copy_hq, compositing with every host transfer mode over
// straight alpha.
#pragma once

#include "sdk/pf_types.h"

namespace corvexel::host {

// The suite table registered under "PF World Transform Suite" version 1; its
// transfer_rect and transform_world are also the utility callbacks'.
const PF_WorldTransformSuite1* worldTransformSuite();

}  // namespace corvexel::host
