// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/displayscale.h"

#include "ocula_config.h"

#if OCULA_WITH_X11
#include "platform/x11/x11displayscale.h"

namespace ocula {
DisplayScaleFacts readDisplayScaleFacts(bool wantPrimaryName) {
    return readX11DisplayScaleFacts(wantPrimaryName);
}
} // namespace ocula
#else
namespace ocula {
DisplayScaleFacts readDisplayScaleFacts(bool) {
    return {};
}
} // namespace ocula
#endif
