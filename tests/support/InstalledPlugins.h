#pragma once

// The plug-ins installed on the machine (mda-lv2 among them), scanned and
// registered as the application does at start-up; once per test program.
// Call it before the tracks that should list them are made, for example
// from a fixture's SetUpTestSuite.

#include "platform/units/Component.h"
#include "platform/units/PluginCatalogue.h"
#include "platform/units/PluginHost.h"

#include <QString>

#include <memory>

namespace testsupport {

inline std::shared_ptr<const units::PluginCatalogue> useInstalledPlugins() {
    static const auto catalogue = [] {
        auto scanned = units::PluginCatalogue::scan(QStringLiteral("/usr/lib/lv2"));
        units::PluginCatalogue::setCurrent(scanned);
        units::registerPluginComponents(units::ComponentRegistry::instance(), scanned);
        return scanned;
    }();
    return catalogue;
}

}  // namespace testsupport
