#pragma once

#include "platform/displayscale.h"

namespace ocula {

DisplayScaleFacts readX11DisplayScaleFacts(bool wantPrimaryName);

} // namespace ocula
