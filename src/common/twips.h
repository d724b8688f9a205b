#pragma once

namespace ocula {

// Window geometry is kept in twips (1440 per inch); these convert with the primary
// screen's logical resolution (15 twips per pixel at 96 dpi).
double twipsPerPixelX();
double twipsPerPixelY();

} // namespace ocula
