// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/registrystorage.h"

#ifdef Q_OS_WIN
#include "platform/win32/win32registrystorage.h"
#else
#include "platform/filehive/filehivestorage.h"
#endif

namespace ocula {

std::unique_ptr<RegistryStorage> createRegistryStorage() {
#ifdef Q_OS_WIN
    return std::make_unique<Win32RegistryStorage>();
#else
    return std::make_unique<FileHiveStorage>();
#endif
}

} // namespace ocula
