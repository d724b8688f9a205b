// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/registrystorage.h"

namespace ocula {

QString rootKeyName(RootKey root) {
    for (const RootKeyName& entry : RootKeyNames) {
        if (entry.root == root)
            return entry.name;
    }
    return {};
}

} // namespace ocula
