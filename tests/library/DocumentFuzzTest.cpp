// Seeded fuzzing of the project and preset readers and of the loader: a few
// thousand mutations of documents that hold every kind of value. A reader
// refuses with a message or takes only numbers; every load ends; a refused
// project or preset leaves the composition as it was. Set
// TREVALUNE_FUZZ_SCALE to run more documents, TREVALUNE_FUZZ_SEED for
// another sequence.
#include "../app/TrackListFixture.h"

#include "library/DocumentChecks.h"
#include "library/DocumentSamples.h"
#include "library/DocumentValues.h"
#include "library/ProjectLoading.h"
#include "platform/core/MainQueue.h"

#include <QDir>
#include <QFile>

namespace {

int scale() {
    const int s = qEnvironmentVariableIntValue("TREVALUNE_FUZZ_SCALE");
    return s > 0 ? s : 1;
}
uint32_t seed() {
    bool ok = false;
    const uint32_t s = qEnvironmentVariable("TREVALUNE_FUZZ_SEED").toUInt(&ok);
    return ok ? s : 20261210u;
}

// A load that has not ended after this long hangs (the sanitized build runs
// several times slower).
#if defined(__SANITIZE_ADDRESS__)
constexpr int kHangMilliseconds = 20000;
#else
constexpr int kHangMilliseconds = 5000;
#endif

// The findings of a run, the first few in full.
struct Findings {
    void add(const QString& what, const QByteArray& bytes) {
        if (++count <= 5) text += QStringLiteral("%1 (document %2)\n").arg(what, QString::fromLatin1(bytes.toBase64()));
    }
    int count = 0;
    QString text;
};

project::ProjectDocument loaderDocument() {
    project::ProjectDocument d = documentsamples::fullDocument();
    // No plug-in is made: the loads stay short.
    for (auto& t : d) {
        t.filterInfo.filterInfoActivePluginsName.clear();
        t.filterInfo.filterInfoDynamcAudioUnits.clear();
        t.filterInfo.filterInfoPluginsPresetsDictionary.clear();
        t.filterInfo.filterInfoPluginsClassInfoDictionary.clear();
    }
    return d;
}

}  // namespace

TEST(DocumentFuzzTest, ReadersRefuseWithAMessageOrTakeOnlyNumbers) {
    const QByteArray projectSeed = project::encodeProject(documentsamples::fullDocument());
    const QByteArray presetSeed = project::encodePresetFile(documentsamples::fullPreset());
    ASSERT_TRUE(documentchecks::checkProjectReader(projectSeed).isEmpty());
    ASSERT_TRUE(documentchecks::checkPresetReader(presetSeed).isEmpty());

    documentchecks::Mutator mutator(seed());
    Findings findings;
    int refused = 0, taken = 0;
    for (int i = 0; i < 3000 * scale(); ++i) {
        const bool isProject = i % 3 != 2;
        const QByteArray bytes = mutator.mutate(isProject ? projectSeed : presetSeed);
        const QString finding =
            isProject ? documentchecks::checkProjectReader(bytes) : documentchecks::checkPresetReader(bytes);
        if (!finding.isEmpty()) findings.add(finding, bytes);
        QString ignored;
        const bool read = isProject ? project::decodeProject(bytes, &ignored).has_value()
                                    : project::decodePresetFile(bytes, &ignored).has_value();
        ++(read ? taken : refused);
    }
    EXPECT_EQ(findings.count, 0) << findings.text.toStdString();
    // Both ways are walked: the mutations are not all fatal.
    EXPECT_GT(taken, 100);
    EXPECT_GT(refused, 100);
}

class DocumentLoaderFuzzTest : public TrackListTest {
protected:
    // What a refused document must leave as it was.
    struct Composed {
        std::vector<const MusicFilter*> tracks;
        std::vector<std::array<float, 28>> values;
        MediaTime duration;
        RecordedParameters curves;
        std::vector<double> markers;
        std::vector<size_t> notes;
        QUrl projectURL;
        friend bool operator==(const Composed&, const Composed&) = default;
        // The parts that differ from `other`.
        QString differences(const Composed& other) const {
            QStringList out;
            if (tracks != other.tracks) out << QStringLiteral("tracks");
            if (values != other.values) out << QStringLiteral("effect values");
            if (duration != other.duration) out << QStringLiteral("length");
            if (curves != other.curves) out << QStringLiteral("curves");
            if (markers != other.markers) out << QStringLiteral("markers");
            if (notes != other.notes) out << QStringLiteral("notes");
            if (projectURL != other.projectURL) out << QStringLiteral("project");
            return out.join(QStringLiteral(", "));
        }
    };
    Composed composed() {
        Composed s;
        for (const TrackRecord& r : tracks()) {
            s.tracks.push_back(r.audioFilter.get());
            std::array<float, 28> v{};
            for (EffectInput input : effectinputs::all()) v[size_t(input)] = r.audioFilter->value(input);
            s.values.push_back(v);
            s.notes.push_back(r.audioFilter->midiArray.size());
        }
        s.duration = c->shell.compositionDuration;
        s.curves = c->automation.recordedParameters;
        for (const MarkerRecord& m : c->editing.markersArray) s.markers.push_back(m.markerTime);
        s.projectURL = c->library.projectURL;
        return s;
    }

    // The load has ended, and the player has taken up its item.
    bool loadEnded() {
        const bool ended = testsupport::waitUntil(
            [&] { return c->projectLoading && c->projectLoading->finished && c->tapCounter() == 0 && !c->loadTapFromProject(); },
            kHangMilliseconds);
        settle();
        return ended;
    }
    void settle() {
        testsupport::waitUntil([&] {
            PlayerItem* item = player->currentItem();
            return (!item || item->status() != PlayerItem::Status::Unknown) && !c->shell.audioControllerIsWorking &&
                   !player->isPreparingRenderer() && player->isRenderingIdle() &&
                   MainQueue::instance().pendingCount() == 0;
        });
        endEvent();
    }

    // The project folder with the sources the sample document names.
    QString makeFolder() {
        const QString folder = QDir(testsupport::tempDir()).filePath(QStringLiteral("Fuzz.trvproj"));
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(writeTone(QStringLiteral("one.wav"), 2, 440), QDir(folder).filePath(QStringLiteral("1 - one.wav"))));
        EXPECT_TRUE(QFile::copy(writeTone(QStringLiteral("two.wav"), 3, 660), QDir(folder).filePath(QStringLiteral("2 - two.wav"))));
        return folder;
    }
    static void writeData(const QString& folder, const QByteArray& bytes) {
        QFile f(QDir(folder).filePath(QString::fromLatin1(project::kProjectDataName)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
};

TEST_F(DocumentLoaderFuzzTest, EveryLoadEndsAndEveryRefusalLeavesTheCompositionAsItWas) {
    answer = 0;  // "Ok" to closing the composition a load replaces
    const QString folder = makeFolder();
    const QUrl url = QUrl::fromLocalFile(folder);
    const QByteArray projectSeed = project::encodeProject(loaderDocument());
    writeData(folder, projectSeed);
    c->loadTrackToCompositionForProject(url);
    ASSERT_TRUE(loadEnded());
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(c->automation.recordedParameters[tracks()[0].audioFilter->identifierOfFilter].size(), 24u)
        << "a curve on each input that can have one";

    documentchecks::Mutator mutator(seed() + 1);
    Findings findings;
    int loads = 0;
    for (int i = 0; i < 150 * scale() && findings.count == 0; ++i) {
        const QByteArray bytes = mutator.mutate(projectSeed);
        writeData(folder, bytes);
        QString why;
        const auto document = project::decodeProject(bytes, &why);
        const bool opens = document && !document->empty();
        const Composed before = composed();
        alerts.clear();
        c->loadTrackToCompositionForProject(url);
        // The document is read on a worker: its answer comes through the event loop.
        testsupport::waitUntil([&] { return c->projectLoading && !c->projectLoading->reading; }, kHangMilliseconds);
        endEvent();
        if (!opens) {
            if (alerts.size() != 1) findings.add(QStringLiteral("a refusal without its alert"), bytes);
            if (!(composed() == before))
                findings.add(QStringLiteral("a refusal changed the %1").arg(composed().differences(before)), bytes);
            continue;
        }
        ++loads;
        if (!loadEnded()) findings.add(QStringLiteral("a load that did not end"), bytes);
        endEvent();
    }
    EXPECT_EQ(findings.count, 0) << findings.text.toStdString();
    EXPECT_GT(loads, 10);

    // Presets applied to a track of the seed project.
    writeData(folder, projectSeed);
    alerts.clear();
    c->loadTrackToCompositionForProject(url);
    ASSERT_TRUE(loadEnded());
    project::PresetRecord preset = documentsamples::fullPreset();
    preset.plugins.reset();
    const QByteArray presetSeed = project::encodePresetFile(preset);
    int applied = 0;
    for (int i = 0; i < 300 * scale() && findings.count == 0; ++i) {
        const QByteArray bytes = mutator.mutate(presetSeed);
        QString why;
        const bool opens = project::decodePresetFile(bytes, &why).has_value();
        settle();
        const Composed before = composed();
        alerts.clear();
        c->loadFilterFromPresetData(bytes);
        endEvent();
        if (opens) {
            ++applied;
            continue;
        }
        if (alerts.size() != 1) findings.add(QStringLiteral("a refused preset without its alert"), bytes);
        if (!(composed() == before))
            findings.add(QStringLiteral("a refused preset changed the %1").arg(composed().differences(before)), bytes);
    }
    EXPECT_EQ(findings.count, 0) << findings.text.toStdString();
    EXPECT_GT(applied, 10);
}

// Places and sizes the records take, however odd: every load ends, with
// the lane inside what a widget can be and the tracks that fit in place.
TEST_F(DocumentLoaderFuzzTest, OddPlacesAndSizesStillEndTheLoad) {
    answer = 0;
    const QString folder = makeFolder();
    const struct {
        const char* name;
        std::function<void(project::TrackInfoRecord&)> change;
    } cases[] = {
        {"a track that ends before the composition starts",
         [](auto& i) { i.filterInfoAnimationStart = -5, i.filterInfoAnimationEnd = -2; }},
        {"a track that ends where it starts", [](auto& i) { i.filterInfoAnimationEnd = i.filterInfoAnimationStart; }},
        {"a huge lane", [](auto& i) { i.filterInfoAudioViewFrame = QRectF(-1e12, 1e300, 1e300, 1e12); }},
        {"a huge speed and project", [](auto& i) { i.filterInfoSpeed = 1e300, i.filterInfoCompositionDuration = 1e300; }},
        {"a tiny speed", [](auto& i) { i.filterInfoSpeed = 1e-300; }},
        {"a track far away", [](auto& i) { i.filterInfoAnimationStart = 1e300, i.filterInfoAnimationEnd = 1e301; }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        project::ProjectDocument d = loaderDocument();
        k.change(d.front().filterInfo);
        writeData(folder, project::encodeProject(d));
        alerts.clear();
        c->loadTrackToCompositionForProject(QUrl::fromLocalFile(folder));
        ASSERT_TRUE(loadEnded());
        endEvent();
        ASSERT_EQ(tracks().size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_LE(lane(i)->width(), QWIDGETSIZE_MAX);
            EXPECT_GE(lane(i)->width(), 0);
        }
        EXPECT_LE(c->shell.compositionDuration.seconds(), project::values::kLongestTime);
    }
}
