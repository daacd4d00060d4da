#pragma once

#include <QString>

namespace morvane::wayland {

// Where the desktop portal answers on the session bus.
inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

}  // namespace morvane::wayland
