// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The two-colour pixel grid drawn over the view.
#include "common/colors.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"

namespace ocula {

void Zoom::DrawGrid() {
    if (m_Factor < 3)
        return;
    // A line pixel takes colour A where x + y is even and B where odd: the checker is
    // anchored at the view's origin, so neighbouring lines interlock. Drawn over what the
    // view shows, by the painter of its rows.
    m_overlay.on = true;
    m_overlay.factor = m_Factor;
    m_overlay.colors[0] = resolveColor(m_ClrGridA);
    m_overlay.colors[1] = resolveColor(m_ClrGridB);
    m_picZoom->client()->contentChanged();
}

} // namespace ocula
