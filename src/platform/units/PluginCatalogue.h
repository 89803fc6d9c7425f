#pragma once

#include "platform/units/Lv2World.h"
#include "platform/units/UnitTypes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace units {

// One element of a bundle record's "AudioComponents".
struct AudioComponentRecord {
    QString type;          // 'aufx' or 'aumu', as four characters
    QString subtype;
    QString manufacturer;
    QString name;          // "Maker: Plug-in name"
    std::optional<bool> sandboxSafe;
};

// What the application knows of one installed plug-in: the component list of
// its bundle (one component per LV2 plug-in) and where it came from.
struct AudioUnitBundleRecord {
    QList<AudioComponentRecord> AudioComponents;
    QString pluginURI;   // the LV2 plug-in's URI; empty for the built-in instruments
    QString bundlePath;  // its bundle folder
};

// Runs `job` on the worker threads of plug-in scans and instantiations. The
// pool finishes its jobs before the program exits.
void runOnPluginThread(std::function<void()> job);

// One hostable LV2 plug-in found by a scan.
struct Lv2PluginDescription {
    QString uri;
    QString name;      // the plug-in's own name
    QString maker;
    QString fullName;  // "Maker: Plug-in name"
    QString bundlePath;
    bool instrument = false;
    uint32_t type = 0;
    uint32_t subtype = 0;
    uint32_t manufacturer = 0;
    uint32_t version = 0;  // minor version << 16 | micro version
};

// The result of one scan of the LV2 search path. Immutable once made, so it
// can be shared between threads.
class PluginCatalogue {
public:
    // LV2_PATH, or ~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2 when it is unset.
    static QString searchPath();

    // Scans `path` on the calling thread. A plug-in that cannot be hosted (a
    // bundle lilv cannot parse, a missing library or one that is no shared
    // object for this machine, an unsupported required feature or port kind,
    // no audio output) is left out and noted in skipped(). No plug-in code
    // runs during a scan.
    static std::shared_ptr<const PluginCatalogue> scan(const QString& path);

    // Scans on a worker thread and hands the catalogue to `done` on the main
    // thread. The finished catalogue also becomes current().
    static void scanAsync(const QString& path,
                          std::function<void(std::shared_ptr<const PluginCatalogue>)> done);

    // The catalogue of the last finished scan (an empty one before any).
    static std::shared_ptr<const PluginCatalogue> current();
    static void setCurrent(std::shared_ptr<const PluginCatalogue> catalogue);

    // The stable codes of a plug-in URI: the subtype from the whole URI, the
    // manufacturer (first letter upper case, unlike the system's own 'appl')
    // from the URI's maker prefix, the part before its last path segment.
    static uint32_t subtypeForURI(const QString& uri);
    static uint32_t manufacturerForURI(const QString& uri);

    const std::vector<Lv2PluginDescription>& plugins() const { return plugins_; }
    // One bundle record per plug-in, in scan order.
    QList<AudioUnitBundleRecord> bundleRecords() const;
    const QStringList& skipped() const { return skipped_; }
    const std::shared_ptr<Lv2World>& world() const { return world_; }

    enum class Lookup { Found, NotFound, Ambiguous };
    // Resolves a plug-in by its three codes and its full name. Codes are
    // derived from URIs and may collide; when the codes and the name fit more
    // than one plug-in, the answer is Ambiguous and nothing is returned, so
    // the wrong plug-in is never loaded.
    const Lv2PluginDescription* find(uint32_t type, uint32_t subtype, uint32_t manufacturer,
                                     const QString& fullName, Lookup* result = nullptr) const;
    const Lv2PluginDescription* findURI(const QString& uri) const;

private:
    std::shared_ptr<Lv2World> world_;
    std::vector<Lv2PluginDescription> plugins_;
    QStringList skipped_;
};

}  // namespace units
