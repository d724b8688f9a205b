// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/displayscale.h"

namespace ocula {

DisplayScaleFacts readX11DisplayScaleFacts(bool wantPrimaryName);

} // namespace ocula
