// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The arrow pictures on the bars, in the chosen colour set.
#include "magnifier/arrowimages.h"
#include "magnifier/zoom.h"

#include <QLabel>

namespace ocula {

void Zoom::loadArrowPictures(int32_t color) {
    if (color < 0 || color > 3)
        return;
    // Each arrow gets its own decoded picture, so one failure leaves the others intact.
    for (QLabel* arrow : m_picArrowLeft)
        arrow->setPixmap(scaledArrow(arrowPictureForResource(leftArrowResourceId(color))));
    for (QLabel* arrow : m_picArrowTop)
        arrow->setPixmap(scaledArrow(arrowPictureForResource(topArrowResourceId(color))));
}

} // namespace ocula
