#include "platform/units/Lv2Plugin.h"
#include "platform/units/PluginCatalogue.h"
#include "platform/units/PluginHost.h"

#include "PluginTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <map>

using namespace units;

namespace {

const QString kMda = QStringLiteral("http://drobilla.net/plugins/mda/");

std::shared_ptr<const PluginCatalogue> systemCatalogue() {
    static std::shared_ptr<const PluginCatalogue> catalogue = PluginCatalogue::scan("/usr/lib/lv2");
    return catalogue;
}

}  // namespace

TEST(PluginCatalogue, ListsMdaEffectsAndInstrumentsWithStableCodes) {
    auto catalogue = systemCatalogue();
    struct Case {
        const char* plugin;
        const char* type;
        const char* name;
    } cases[] = {
        {"Delay", "aufx", "MDA Delay"},     {"Combo", "aufx", "MDA Combo"},
        {"Overdrive", "aufx", "MDA Overdrive"}, {"Piano", "aumu", "MDA Piano"},
        {"EPiano", "aumu", "MDA ePiano"},   {"JX10", "aumu", "MDA JX10"},
        {"DX10", "aumu", "MDA DX10"},
    };
    const QList<AudioUnitBundleRecord> records = catalogue->bundleRecords();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plugin);
        const QString uri = kMda + c.plugin;
        auto it = std::find_if(records.begin(), records.end(),
                               [&](const AudioUnitBundleRecord& r) { return r.pluginURI == uri; });
        ASSERT_NE(it, records.end());
        ASSERT_EQ(it->AudioComponents.size(), 1);
        const AudioComponentRecord& component = it->AudioComponents.first();
        EXPECT_EQ(component.type, QLatin1String(c.type));
        EXPECT_EQ(component.sandboxSafe, std::optional<bool>(true));
        EXPECT_TRUE(component.name.endsWith(QStringLiteral(": ") + c.name)) << qPrintable(component.name);
        EXPECT_EQ(component.name.count(QStringLiteral(": ")), 1);
        EXPECT_EQ(component.subtype, fourCCToString(PluginCatalogue::subtypeForURI(uri)));
        EXPECT_EQ(component.manufacturer, fourCCToString(PluginCatalogue::manufacturerForURI(uri)));
    }

    // Codes are stored in projects and presets: they depend on the URI alone.
    EXPECT_EQ(fourCCToString(PluginCatalogue::subtypeForURI(kMda + "Delay")), QStringLiteral("yiYB"));
    EXPECT_EQ(fourCCToString(PluginCatalogue::manufacturerForURI(kMda + "Delay")), QStringLiteral("BUKP"));
    EXPECT_EQ(PluginCatalogue::manufacturerForURI(kMda + "Delay"), PluginCatalogue::manufacturerForURI(kMda + "Piano"));
    EXPECT_NE(PluginCatalogue::subtypeForURI(kMda + "Delay"), PluginCatalogue::subtypeForURI(kMda + "Piano"));
    // Plug-in makers never take the system's lower-case manufacturer codes.
    for (const Lv2PluginDescription& d : catalogue->plugins()) EXPECT_TRUE(QChar(char(d.manufacturer >> 24)).isUpper());
    auto again = PluginCatalogue::scan("/usr/lib/lv2");
    ASSERT_EQ(again->plugins().size(), catalogue->plugins().size());
    for (size_t i = 0; i < again->plugins().size(); ++i) {
        EXPECT_EQ(again->plugins()[i].uri, catalogue->plugins()[i].uri);
        EXPECT_EQ(again->plugins()[i].subtype, catalogue->plugins()[i].subtype);
    }
}

TEST(PluginCatalogue, SearchPathDefaultsToTheStandardFolders) {
    const QByteArray saved = qgetenv("LV2_PATH");
    qunsetenv("LV2_PATH");
    EXPECT_EQ(PluginCatalogue::searchPath(), QDir::homePath() + "/.lv2:/usr/local/lib/lv2:/usr/lib/lv2");
    qputenv("LV2_PATH", "/somewhere:/else");
    EXPECT_EQ(PluginCatalogue::searchPath(), QStringLiteral("/somewhere:/else"));
    if (saved.isNull()) qunsetenv("LV2_PATH");
    else qputenv("LV2_PATH", saved);
}

// Bundles that cannot be used are left out; the scan goes on and the good
// plug-ins beside them stay.
TEST(PluginCatalogue, SkipsBrokenBundlesAndFailsToLoadABadLibraryCleanly) {
    const QString folder = testsupport::tempDir();
    QDir().mkpath(folder + "/broken.lv2");
    writeFile(folder + "/broken.lv2/manifest.ttl", "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n<urn:x:broken> a lv2:Plugin ;; ]]] garbage");
    writeTestBundle(folder, "nolib.lv2", "urn:trevalune:test/nolib", "No Library", "missing.so");
    writeTestBundle(folder, "badlib.lv2", "urn:trevalune:test/badlib", "Bad Library", "bad.so");
    writeFile(folder + "/badlib.lv2/bad.so", "this is not a shared object, though it has the name of one");
    // A real plug-in library, but not one that holds this plug-in.
    writeTestBundle(folder, "notlv2.lv2", "urn:trevalune:test/notlv2", "Not LV2", "lib.so");
    copyRealLibrary(folder + "/notlv2.lv2/lib.so");

    auto catalogue = PluginCatalogue::scan(folder + ":/usr/lib/lv2");
    EXPECT_EQ(catalogue->findURI("urn:x:broken"), nullptr);
    EXPECT_EQ(catalogue->findURI("urn:trevalune:test/nolib"), nullptr);
    EXPECT_EQ(catalogue->findURI("urn:trevalune:test/badlib"), nullptr);
    const QString skipped = catalogue->skipped().join('\n');
    EXPECT_TRUE(skipped.contains("urn:trevalune:test/nolib: library missing")) << qPrintable(skipped);
    EXPECT_TRUE(skipped.contains("urn:trevalune:test/badlib: library not loadable here")) << qPrintable(skipped);
    EXPECT_NE(catalogue->findURI(kMda + "Delay"), nullptr);

    // A library that loads but does not hold the plug-in fails its
    // instantiation with a reason, on the main thread.
    const Lv2PluginDescription* notLv2 = catalogue->findURI("urn:trevalune:test/notlv2");
    ASSERT_NE(notLv2, nullptr);
    bool done = false;
    QString error;
    bool onMainThread = false;
    Lv2PluginInstance::createAsync(catalogue, *notLv2, 44100, 512,
                                   [&](std::unique_ptr<Lv2PluginInstance> instance, QString why) {
                                       done = true;
                                       onMainThread = QThread::currentThread() == qApp->thread();
                                       EXPECT_EQ(instance, nullptr);
                                       error = why;
                                   });
    ASSERT_TRUE(testsupport::waitUntil([&] { return done; }));
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(error.contains("could not be loaded")) << qPrintable(error);
}

TEST(PluginCatalogue, ScanOnAWorkerThreadReportsOnTheMainThread) {
    bool done = false, onMainThread = false;
    std::shared_ptr<const PluginCatalogue> result;
    PluginCatalogue::scanAsync("/usr/lib/lv2", [&](std::shared_ptr<const PluginCatalogue> catalogue) {
        done = true;
        onMainThread = QThread::currentThread() == qApp->thread();
        result = catalogue;
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return done; }));
    EXPECT_TRUE(onMainThread);
    ASSERT_TRUE(result);
    EXPECT_EQ(PluginCatalogue::current(), result);
    EXPECT_NE(result->findURI(kMda + "Piano"), nullptr);
}

// Codes come from a hash of the URI, so two plug-ins can share them. They
// are told apart by name; when the name does not tell them apart either, the
// plug-in is refused rather than guessed.
TEST(PluginCatalogue, CollidingCodesResolveByNameOrAreRefused) {
    std::map<uint32_t, QString> seen;
    QString first, second;
    for (int i = 0; second.isEmpty(); ++i) {
        const QString uri = QStringLiteral("urn:trevalune:collide/p%1").arg(i);
        auto [it, inserted] = seen.emplace(PluginCatalogue::subtypeForURI(uri), uri);
        if (!inserted) {
            first = it->second;
            second = uri;
        }
    }
    ASSERT_EQ(PluginCatalogue::manufacturerForURI(first), PluginCatalogue::manufacturerForURI(second));

    const QString folder = testsupport::tempDir();
    writeTestBundle(folder, "a.lv2", first, "Twin", "lib.so");
    writeTestBundle(folder, "b.lv2", second, "Twin", "lib.so");
    copyRealLibrary(folder + "/a.lv2/lib.so");
    copyRealLibrary(folder + "/b.lv2/lib.so");
    writeTestBundle(folder, "c.lv2", QStringLiteral("urn:trevalune:collide/other"), "Other", "lib.so");
    copyRealLibrary(folder + "/c.lv2/lib.so");

    auto catalogue = PluginCatalogue::scan(folder);
    ASSERT_EQ(catalogue->plugins().size(), 3u);
    const Lv2PluginDescription* a = catalogue->findURI(first);
    ASSERT_NE(a, nullptr);
    PluginCatalogue::Lookup lookup;
    EXPECT_EQ(catalogue->find(a->type, a->subtype, a->manufacturer, a->fullName, &lookup), nullptr);
    EXPECT_EQ(lookup, PluginCatalogue::Lookup::Ambiguous);
    // Asked for by codes and name, the twins are refused, not guessed.
    const auto previous = PluginCatalogue::current();
    PluginCatalogue::setCurrent(catalogue);
    bool done = false;
    Status status = Status::Ok;
    instantiatePluginNamed({a->type, a->subtype, a->manufacturer}, a->fullName, [&](std::unique_ptr<Unit> unit, Status s) {
        done = true;
        status = s;
        EXPECT_EQ(unit, nullptr);
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return done; }));
    EXPECT_EQ(status, Status::ComponentNotFound);
    PluginCatalogue::setCurrent(previous);
    const Lv2PluginDescription* other = catalogue->findURI("urn:trevalune:collide/other");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(catalogue->find(other->type, other->subtype, other->manufacturer, other->fullName, &lookup), other);
    EXPECT_EQ(lookup, PluginCatalogue::Lookup::Found);
    EXPECT_EQ(catalogue->find(other->type, other->subtype, other->manufacturer, "Someone: Else", &lookup), nullptr);
    EXPECT_EQ(lookup, PluginCatalogue::Lookup::NotFound);

    // With different names the same codes are told apart.
    const QString folder2 = testsupport::tempDir();
    writeTestBundle(folder2, "a.lv2", first, "Left Twin", "lib.so");
    writeTestBundle(folder2, "b.lv2", second, "Right Twin", "lib.so");
    copyRealLibrary(folder2 + "/a.lv2/lib.so");
    copyRealLibrary(folder2 + "/b.lv2/lib.so");
    auto named = PluginCatalogue::scan(folder2);
    const Lv2PluginDescription* left = named->findURI(first);
    const Lv2PluginDescription* right = named->findURI(second);
    ASSERT_TRUE(left && right);
    EXPECT_EQ(named->find(left->type, left->subtype, left->manufacturer, left->fullName), left);
    EXPECT_EQ(named->find(right->type, right->subtype, right->manufacturer, right->fullName), right);
}
