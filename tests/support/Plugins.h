#pragma once

// The plug-in catalogue the application scans once at start-up, for test
// fixtures whose tracks list the installed plug-ins and the instruments
// (header only: the support library itself knows nothing of the units).

#include "platform/units/PluginHost.h"

namespace testsupport {

inline void useInstalledPlugins() {
    auto catalogue = units::PluginCatalogue::scan(QStringLiteral("/usr/lib/lv2"));
    units::PluginCatalogue::setCurrent(catalogue);
    units::registerPluginComponents(units::ComponentRegistry::instance(), catalogue);
}

}  // namespace testsupport
