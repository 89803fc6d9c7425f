#include "platform/units/PluginCatalogue.h"

#include "platform/core/MainQueue.h"

#include <lv2/atom/atom.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QUrl>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace units {

namespace {

uint32_t fnv1a(const QByteArray& bytes, uint32_t seed = 2166136261u) {
    uint32_t h = seed;
    for (char c : bytes) {
        h ^= uint8_t(c);
        h *= 16777619u;
    }
    return h;
}

const char kAlnum[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const char kUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Four characters drawn from a hash; the first from `first`.
uint32_t codeFromHash(uint64_t h, const char* first, int firstCount) {
    uint32_t code = uint8_t(first[h % firstCount]);
    h /= firstCount;
    for (int i = 0; i < 3; ++i) {
        code = (code << 8) | uint8_t(kAlnum[h % 62]);
        h /= 62;
    }
    return code;
}

uint64_t hash64(const QByteArray& bytes) {
    return (uint64_t(fnv1a(bytes)) << 32) | fnv1a(bytes, 0x811C9DC5u ^ 0x5bd1e995u);
}

// The maker part of a URI: everything before its last path segment.
QString makerPrefix(const QString& uri) {
    QString u = uri;
    while (u.endsWith('/') || u.endsWith('#')) u.chop(1);
    int cut = std::max(u.lastIndexOf('/'), u.lastIndexOf('#'));
    if (cut > 0 && !u.left(cut).endsWith('/')) return u.left(cut + 1);
    return u;
}

QString makerFromURI(const QString& uri) {
    QUrl url(uri);
    if (!url.host().isEmpty()) return url.host();
    return QStringLiteral("LV2");
}

// Whether `path` is a shared object this process could load: an ELF file of
// the same class, byte order and machine as the running program. Checked from
// the file's header alone, so that a scan never runs a plug-in's code.
bool isLoadableLibrary(const QString& path) {
    auto header = [](const QString& file, unsigned char* bytes) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) && f.read(reinterpret_cast<char*>(bytes), EI_NIDENT + 4) == EI_NIDENT + 4;
    };
    static unsigned char self[EI_NIDENT + 4];
    static const bool selfRead = header(QStringLiteral("/proc/self/exe"), self);
    unsigned char lib[EI_NIDENT + 4];
    if (!selfRead || !header(path, lib)) return false;
    if (std::memcmp(lib, ELFMAG, SELFMAG) != 0) return false;
    if (lib[EI_CLASS] != self[EI_CLASS] || lib[EI_DATA] != self[EI_DATA]) return false;
    uint16_t type, machine, selfMachine;
    std::memcpy(&type, lib + EI_NIDENT, 2);
    std::memcpy(&machine, lib + EI_NIDENT + 2, 2);
    std::memcpy(&selfMachine, self + EI_NIDENT + 2, 2);
    return type == ET_DYN && machine == selfMachine;
}

struct CurrentCatalogue {
    std::mutex mutex;
    std::shared_ptr<const PluginCatalogue> catalogue;
};
CurrentCatalogue& currentCatalogue() {
    static CurrentCatalogue c;
    return c;
}

}  // namespace

void runOnPluginThread(std::function<void()> job) {
    static QThreadPool pool;
    static bool configured = [] {
        pool.setMaxThreadCount(2);
        pool.setExpiryTimeout(5000);
        return true;
    }();
    (void)configured;
    pool.start(std::move(job));
}

QString PluginCatalogue::searchPath() {
    QByteArray env = qgetenv("LV2_PATH");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    return QDir::homePath() + QStringLiteral("/.lv2:/usr/local/lib/lv2:/usr/lib/lv2");
}

uint32_t PluginCatalogue::subtypeForURI(const QString& uri) {
    return codeFromHash(hash64(uri.toUtf8()), kAlnum, 62);
}

uint32_t PluginCatalogue::manufacturerForURI(const QString& uri) {
    return codeFromHash(hash64(makerPrefix(uri).toUtf8()), kUpper, 26);
}

std::shared_ptr<const PluginCatalogue> PluginCatalogue::scan(const QString& path) {
    auto catalogue = std::make_shared<PluginCatalogue>();
    catalogue->world_ = Lv2World::load(path);
    Lv2World& w = *catalogue->world_;
    std::lock_guard<std::mutex> lock(w.mutex());
    LilvWorld* world = w.world();
    const Lv2World::Nodes& n = w.nodes();
    Lv2Node atomSequence(lilv_new_uri(world, LV2_ATOM__Sequence));
    Lv2Node bufferType(lilv_new_uri(world, LV2_ATOM__bufferType));

    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    LILV_FOREACH (plugins, it, all) {
        const LilvPlugin* plugin = lilv_plugins_get(all, it);
        QString uri = QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(plugin)));
        auto skip = [&](const QString& why) { catalogue->skipped_.append(uri + ": " + why); };
        if (lilv_plugin_is_replaced(plugin)) continue;
        if (!lilv_plugin_verify(plugin)) {
            skip(QStringLiteral("incomplete description"));
            continue;
        }
        const LilvNode* libraryURI = lilv_plugin_get_library_uri(plugin);
        char* libraryPath = libraryURI ? lilv_file_uri_parse(lilv_node_as_uri(libraryURI), nullptr) : nullptr;
        const QString library = libraryPath ? QString::fromLocal8Bit(libraryPath) : QString();
        lilv_free(libraryPath);
        if (library.isEmpty() || !QFileInfo(library).isFile()) {
            skip(QStringLiteral("library missing"));
            continue;
        }
        if (!isLoadableLibrary(library)) {
            skip(QStringLiteral("library not loadable here"));
            continue;
        }
        bool featuresOk = true;
        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        LILV_FOREACH (nodes, f, required) {
            const char* feature = lilv_node_as_uri(lilv_nodes_get(required, f));
            if (!lv2host::supportsFeature(feature)) {
                skip(QStringLiteral("needs %1").arg(QString::fromUtf8(feature)));
                featuresOk = false;
                break;
            }
        }
        lilv_nodes_free(required);
        if (!featuresOk) continue;

        int audioIn = 0, audioOut = 0;
        bool midiIn = false, portsOk = true;
        uint32_t portCount = lilv_plugin_get_num_ports(plugin);
        for (uint32_t i = 0; i < portCount && portsOk; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            bool input = lilv_port_is_a(plugin, port, n.inputPort);
            if (lilv_port_is_a(plugin, port, n.audioPort)) {
                (input ? audioIn : audioOut)++;
            } else if (lilv_port_is_a(plugin, port, n.controlPort) ||
                       lilv_port_is_a(plugin, port, n.cvPort)) {
            } else if (lilv_port_is_a(plugin, port, n.atomPort)) {
                LilvNodes* types = lilv_port_get_value(plugin, port, bufferType.node);
                bool sequence = types && lilv_nodes_contains(types, atomSequence.node);
                lilv_nodes_free(types);
                if (sequence && input && lilv_port_supports_event(plugin, port, n.midiEvent))
                    midiIn = true;
                if (!sequence && !lilv_port_has_property(plugin, port, n.connectionOptional))
                    portsOk = false;
            } else if (!lilv_port_has_property(plugin, port, n.connectionOptional)) {
                portsOk = false;
            }
        }
        if (!portsOk) {
            skip(QStringLiteral("unsupported port"));
            continue;
        }
        if (audioOut == 0) {
            skip(QStringLiteral("no audio output"));
            continue;
        }

        Lv2PluginDescription d;
        d.uri = uri;
        Lv2Node name(lilv_plugin_get_name(plugin));
        d.name = name ? name.string() : uri;
        Lv2Node author(lilv_plugin_get_author_name(plugin));
        d.maker = author ? author.string() : QString();
        if (d.maker.isEmpty()) {
            Lv2Node project(lilv_plugin_get_project(plugin));
            if (project) {
                LilvNodes* names = lilv_world_find_nodes(world, project.node, n.doapName, nullptr);
                if (names && lilv_nodes_size(names) > 0)
                    d.maker = QString::fromUtf8(lilv_node_as_string(lilv_nodes_get_first(names)));
                lilv_nodes_free(names);
            }
        }
        if (d.maker.isEmpty()) d.maker = makerFromURI(uri);
        d.fullName = d.maker + QStringLiteral(": ") + d.name;
        char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(plugin)), nullptr);
        d.bundlePath = bundle ? QString::fromLocal8Bit(bundle) : QString();
        lilv_free(bundle);
        const LilvPluginClass* pclass = lilv_plugin_get_class(plugin);
        bool instrumentClass = pclass && lilv_node_equals(lilv_plugin_class_get_uri(pclass), n.instrumentPlugin);
        d.instrument = instrumentClass || (midiIn && audioIn == 0);
        d.type = d.instrument ? componenttype::MusicDevice : componenttype::Effect;
        auto versionPart = [&](const char* predicate) {
            Lv2Node p(lilv_new_uri(world, predicate));
            LilvNodes* v = lilv_plugin_get_value(plugin, p.node);
            int value = v && lilv_nodes_size(v) && lilv_node_is_int(lilv_nodes_get_first(v))
                            ? lilv_node_as_int(lilv_nodes_get_first(v)) : 0;
            lilv_nodes_free(v);
            return uint32_t(std::clamp(value, 0, 0xFFFF));
        };
        d.version = (versionPart(LILV_NS_LV2 "minorVersion") << 16) | versionPart(LILV_NS_LV2 "microVersion");
        d.subtype = subtypeForURI(uri);
        d.manufacturer = manufacturerForURI(uri);
        catalogue->plugins_.push_back(std::move(d));
    }
    return catalogue;
}

void PluginCatalogue::scanAsync(const QString& path,
                                std::function<void(std::shared_ptr<const PluginCatalogue>)> done) {
    runOnPluginThread([path, done = std::move(done)]() mutable {
        std::shared_ptr<const PluginCatalogue> catalogue = scan(path);
        MainQueue::async([catalogue, done = std::move(done)]() {
            setCurrent(catalogue);
            if (done) done(catalogue);
        });
    });
}

std::shared_ptr<const PluginCatalogue> PluginCatalogue::current() {
    CurrentCatalogue& c = currentCatalogue();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.catalogue) c.catalogue = std::make_shared<PluginCatalogue>();
    return c.catalogue;
}

void PluginCatalogue::setCurrent(std::shared_ptr<const PluginCatalogue> catalogue) {
    CurrentCatalogue& c = currentCatalogue();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.catalogue = std::move(catalogue);
}

QList<AudioUnitBundleRecord> PluginCatalogue::bundleRecords() const {
    QList<AudioUnitBundleRecord> records;
    for (const Lv2PluginDescription& d : plugins_) {
        AudioComponentRecord c;
        c.type = fourCCToString(d.type);
        c.subtype = fourCCToString(d.subtype);
        c.manufacturer = fourCCToString(d.manufacturer);
        c.name = d.fullName;
        c.sandboxSafe = true;
        records.append(AudioUnitBundleRecord{{c}, d.uri, d.bundlePath});
    }
    return records;
}

const Lv2PluginDescription* PluginCatalogue::find(uint32_t type, uint32_t subtype, uint32_t manufacturer,
                                                  const QString& fullName, Lookup* result) const {
    const Lv2PluginDescription* found = nullptr;
    for (const Lv2PluginDescription& d : plugins_) {
        if (d.type != type || d.subtype != subtype || d.manufacturer != manufacturer) continue;
        if (!fullName.isEmpty() && d.fullName != fullName) continue;
        if (found) {
            if (result) *result = Lookup::Ambiguous;
            return nullptr;
        }
        found = &d;
    }
    if (result) *result = found ? Lookup::Found : Lookup::NotFound;
    return found;
}

const Lv2PluginDescription* PluginCatalogue::findURI(const QString& uri) const {
    for (const Lv2PluginDescription& d : plugins_)
        if (d.uri == uri) return &d;
    return nullptr;
}

}  // namespace units
