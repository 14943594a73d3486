#include "desktop_view.h"

namespace talvane {

DesktopView desktopView;

void resetDesktopView() { desktopView = DesktopView(); }

}  // namespace talvane
