// Project folders: the stored document refuses what does not fit; a saved
// composition loads back into the same model and sounds the same; saving
// keeps one copy per source and nothing stray; a damaged folder changes
// nothing and a missing source is named while the other tracks load.
#include "../app/TrackListFixture.h"

#include "library/ProjectLoading.h"
#include "platform/core/Archive.h"
#include "platform/media/Composition.h"
#include "views/ExportViews.h"

#include <QLineEdit>

#include "platform/units/PluginHost.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"
#include "support/InstalledPlugins.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using testsupport::waitUntil;

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

project::ProjectDocument smallDocument() {
    project::ProjectTrackRecord r;
    r.projectMetadataDictionary = project::ProjectMetadataRecord{};
    project::TrackSegmentRecord s;
    s.filterOriginalPath = QStringLiteral("/old/place/123 - a.wav");
    s.filterNameOfSourceTrack = QStringLiteral("a.wav");
    s.filterSourceTimeRange = {0, 2};
    s.filterTargetTimeRange = {0, 2};
    r.filterTrackSegments.push_back(s);
    r.filterInfo.filterMarkersArray = {{1.5, QStringLiteral("Verse")}};
    r.filterInfo.filterPresetData.presetRecordedDictionary = TrackCurves{{QStringLiteral("inputAudioMix"), {{0.0, 1.0, std::nullopt}, {0.5, 0.25, 1}}}};
    return {r};
}

}  // namespace

TEST(ProjectRecordsTest, DocumentRoundTripsAndRefusesWhatDoesNotFit) {
    const QByteArray good = project::encodeProject(smallDocument());
    QString error;
    auto back = project::decodeProject(good, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->front().filterTrackSegments, smallDocument().front().filterTrackSegments);
    EXPECT_EQ(back->front().filterInfo.filterMarkersArray.front().markerName, QStringLiteral("Verse"));
    EXPECT_EQ(back->front().filterInfo.filterPresetData.presetRecordedDictionary,
              smallDocument().front().filterInfo.filterPresetData.presetRecordedDictionary);

    // One field changed in the stored document.
    auto edited = [&](const std::function<void(QCborMap& track, QCborMap& info)>& change) {
        QCborArray root = archive::decode(good, &error)->toArray();
        QCborMap track = root.at(0).toMap();
        QCborMap info = track.value(QStringLiteral("filterInfo")).toMap();
        change(track, info);
        track.insert(QStringLiteral("filterInfo"), info);
        root[0] = track;
        return archive::encode(root);
    };
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"not a document", QByteArray("this is not a project")},
        {"truncated", good.left(good.size() / 2)},
        {"speed as a string", edited([](QCborMap&, QCborMap& i) { i.insert(QStringLiteral("filterInfoSpeed"), QStringLiteral("2")); })},
        {"colour of two numbers", edited([](QCborMap&, QCborMap& i) { i.insert(QStringLiteral("filterInfoTrackColor"), QCborArray{0.5, 0.5}); })},
        {"settings that are no document", edited([](QCborMap&, QCborMap& i) { i.insert(QStringLiteral("filterPresetData"), QByteArray("xx")); })},
        {"a stored \"..\"", edited([](QCborMap& t, QCborMap&) {
             QCborArray segments = t.value(QStringLiteral("filterTrackSegments")).toArray();
             QCborMap s = segments.at(0).toMap();
             s.insert(QStringLiteral("filterOriginalPath"), QStringLiteral("/somewhere/.."));
             segments[0] = s;
             t.insert(QStringLiteral("filterTrackSegments"), segments);
         })},
        {"the root a map", archive::encode(QCborMap{})},
    };
    for (const auto& c : cases) {
        error.clear();
        EXPECT_FALSE(project::decodeProject(c.bytes, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(ProjectRecordsTest, NamesOfCopiesAndDates) {
    EXPECT_EQ(project::sourceCopyName(QStringLiteral("/Music/take.wav")), QStringLiteral("1408 - take.wav"));
    // Sums collide easily: the same digits in another order.
    EXPECT_EQ(project::sourceCopyName(QStringLiteral("/Take 12/vocal.wav")),
              project::sourceCopyName(QStringLiteral("/Take 21/vocal.wav")));
    const QDateTime when(QDate(2026, 3, 3), QTime(9, 5, 7));
    EXPECT_EQ(project::defaultProjectName(when), QStringLiteral("My Project - 3-3-2026,9.05.07"));
    EXPECT_EQ(project::projectDateText(when), QStringLiteral(" - 3-3-2026,9.5.7"));
    for (const char* bad : {"", ".", "..", "/a/..", "/"}) EXPECT_FALSE(project::storedFileName(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(project::storedFileName(QStringLiteral("/x/y/1 - a.wav")), QStringLiteral("1 - a.wav"));
}

class ProjectTest : public TrackListTest {
protected:
    QString folder(const QString& name) { return QDir(base).filePath(name); }
    const QString base = testsupport::tempDir();

    bool save(const QString& path, QString* error = nullptr) {
        QString why;
        const bool ok = c->saveProjectToURL(QUrl::fromLocalFile(path), &why);
        if (error) *error = why;
        return ok;
    }

    // Opens the folder and waits until every track's units have their values
    // and the player's item is ready.
    void load(const QString& path) {
        c->loadTrackToCompositionForProject(QUrl::fromLocalFile(path));
        ASSERT_TRUE(waitUntil([&] { return c->projectLoading && c->projectLoading->finished; }, 20000));
        ASSERT_TRUE(waitUntil([&] { return c->tapCounter() == 0 && !c->loadTapFromProject(); }, 20000));
        waitForReadyItem();
        endEvent();
    }

    // The mix rendered offline once the player's item has settled: the
    // offline reader shares the taps with the item, whose first pulls
    // right after it is made can move their state.
    std::vector<float> settledRender() {
        std::vector<float> last = renderedLeft();
        for (int i = 0; i < 5; ++i) {
            endEvent();
            std::vector<float> next = renderedLeft();
            if (next == last) break;
            last = std::move(next);
        }
        return last;
    }

    struct TrackState {
        double start, end, speed, durationInSeconds;
        size_t segments;
        QList<QList<QPointF>> pastes;
        size_t notes;
        bool operator==(const TrackState&) const = default;
    };
    std::vector<TrackState> state() {
        std::vector<TrackState> out;
        for (const auto& r : tracks()) {
            const auto& t = *r.audioFilter;
            out.push_back({t.animationStart().seconds(), t.animationEnd().seconds(), t.value(EffectInput::Speed),
                           t.durationInSeconds, t.tempFilterTracks[t.indexOfUpdatedTrack]->segments().size(),
                           AudioController::trackLaneOf(&t)->selectionPastes, t.midiArray.size()});
        }
        return out;
    }
};

TEST_F(ProjectTest, SavedCompositionLoadsBackWithTheSameModelAndSound) {
    append(writeTone(QStringLiteral("low.wav"), 6, 220));
    append(writeTone(QStringLiteral("mid.wav"), 4, 440));
    append(writeTone(QStringLiteral("high.wav"), 5, 880));
    waitForReadyItem();

    // Track 0 at speed 2.
    MusicFilter* fast = tracks()[0].audioFilter.get();
    fast->setValue(EffectInput::Speed, 2.0f);
    c->updateFilterSpeed(fast, nullptr);
    // Track 1: silence inserted into its edit list.
    // The speed change refreshes the player; edits wait for it.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    c->currentSelectedAudio = 1;
    ASSERT_TRUE(c->pasteSelectionEmptyInFilterFrom(nullptr, 1.0, 0.5, true));
    // Track 2: a curve and a note, and it is the selected one.
    MusicFilter* third = tracks()[2].audioFilter.get();
    const TrackCurves curves{{QStringLiteral("inputAudioMix"), {{0.0, 1.0, std::nullopt}, {3.0, 0.25, std::nullopt}}}};
    c->automation.recordedParameters[third->identifierOfFilter] = curves;
    c->automation.tempRecorderParameters = c->automation.recordedParameters;
    c->publishAllRecordedParameters();
    MidiNoteRecord on;
    on.midiCommand = {0x90, 60, 100};
    on.midiCommandTime = MediaTime::fromSeconds(0.5, 44100);
    on.midiCommandEndTime = MediaTime::fromSeconds(1.0, 44100);
    on.midiCommandIsRecorded = true;
    on.midiNote = 60;
    third->midiArray = {on};
    third->publishNotes();
    c->currentSelectedAudio = 2;
    c->editing.markersArray = {{1.25, QStringLiteral("Chorus")}, {3.5, QStringLiteral("End")}};
    c->metadataPopover()->metadataTitleTextField->setText(QStringLiteral("Song"));
    waitForReadyItem();
    endEvent();

    const std::vector<float> before = settledRender();
    const auto modelBefore = state();
    const double zoom = c->shell.zoomValue, length = c->shell.compositionDuration.seconds();
    const KeyPointCurve curveBefore = c->automation.recordedParameters[third->identifierOfFilter][QStringLiteral("inputAudioMix")];
    ASSERT_FALSE(before.empty());

    const QString path = folder(QStringLiteral("Round Trip.trvproj"));
    QString error;
    ASSERT_TRUE(save(path, &error)) << error.toStdString();
    EXPECT_FALSE(c->isDocumentEdited());
    EXPECT_EQ(entries(path).size(), 4u) << entries(path).join(u',').toStdString();

    // Moved and renamed before it is opened again in a fresh composition.
    const QString moved = folder(QStringLiteral("elsewhere/Renamed.TRVPROJ"));
    QDir().mkpath(QFileInfo(moved).absolutePath());
    ASSERT_TRUE(QDir().rename(path, moved));
    c->closeCompositionFrom(false);
    ASSERT_EQ(tracks().size(), 0u);
    c->metadataPopover()->metadataTitleTextField->clear();
    load(moved);

    ASSERT_EQ(tracks().size(), 3u);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(state(), modelBefore);
    EXPECT_EQ(c->currentSelectedAudio.load(), 2u);
    EXPECT_EQ(c->shell.zoomValue, zoom);
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), length, 1e-6);
    ASSERT_EQ(c->editing.markersArray.size(), 2u);
    EXPECT_EQ(c->editing.markersArray[0].markerName, QStringLiteral("Chorus"));
    EXPECT_EQ(c->metadataPopover()->metadataTitleTextField->text(), QStringLiteral("Song"));
    third = tracks()[2].audioFilter.get();
    const KeyPointCurve curveAfter = c->automation.recordedParameters[third->identifierOfFilter][QStringLiteral("inputAudioMix")];
    ASSERT_EQ(curveAfter.size(), curveBefore.size());
    for (size_t i = 0; i < curveAfter.size(); ++i) EXPECT_NEAR(curveAfter[i].time, curveBefore[i].time, 1e-6);
    EXPECT_EQ(third->midiArray.front().midiCommand, on.midiCommand);
    EXPECT_EQ(c->library.projectURL, QUrl::fromLocalFile(moved));
    EXPECT_FALSE(c->progressSheet()->isVisible());

    const std::vector<float> after = settledRender();
    ASSERT_EQ(after.size(), before.size());
    float worst = 0;
    size_t first = after.size();
    for (size_t i = 0; i < after.size(); ++i) {
        if (std::abs(after[i] - before[i]) > 1e-6f && first == after.size()) first = i;
        worst = std::max(worst, std::abs(after[i] - before[i]));
    }
    EXPECT_LE(worst, 1e-6f) << "from sample " << first << " of " << after.size();
}

TEST_F(ProjectTest, SavingKeepsOneCopyPerSourceAndNothingStray) {
    const QString a = writeTone(QStringLiteral("a.wav"), 2, 440);
    // Two sources whose paths have the same sum of code units.
    const QString t12 = folder(QStringLiteral("Take 12/vocal.wav")), t21 = folder(QStringLiteral("Take 21/vocal.wav"));
    QDir().mkpath(QFileInfo(t12).absolutePath());
    QDir().mkpath(QFileInfo(t21).absolutePath());
    ASSERT_TRUE(QFile::copy(writeTone(QStringLiteral("v1.wav"), 2, 330), t12));
    ASSERT_TRUE(QFile::copy(writeTone(QStringLiteral("v2.wav"), 2, 550), t21));
    ASSERT_EQ(project::sourceCopyName(t12), project::sourceCopyName(t21));
    for (const QString& p : {a, a, t12, t21}) append(p);

    const QString path = folder(QStringLiteral("Copies.trvproj"));
    ASSERT_TRUE(save(path));
    EXPECT_EQ(entries(path).size(), 4u) << "projectData, one copy of a.wav, two of vocal.wav";
    const QString copy = QDir(path).filePath(project::sourceCopyName(a));
    const QDateTime copied = QFileInfo(copy).lastModified();

    // A stray file goes; a hidden file and a subfolder stay; nothing is copied twice.
    QFile stray(QDir(path).filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();
    QFile hidden(QDir(path).filePath(QStringLiteral(".keep")));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    QDir(path).mkdir(QStringLiteral("Bounces"));
    ASSERT_TRUE(save(path));
    EXPECT_EQ(entries(path).size(), 4u);
    EXPECT_FALSE(QFileInfo::exists(stray.fileName()));
    EXPECT_TRUE(QFileInfo::exists(hidden.fileName()));
    EXPECT_TRUE(QFileInfo(QDir(path).filePath(QStringLiteral("Bounces"))).isDir());
    EXPECT_EQ(QFileInfo(copy).lastModified(), copied);

    // A failed save keeps the previous data and the edited mark.
    const QString data = QDir(path).filePath(QStringLiteral("projectData"));
    QFile dataFile(data);
    ASSERT_TRUE(dataFile.open(QIODevice::ReadOnly));
    const QByteArray previous = dataFile.readAll();
    dataFile.close();
    // A source that can no longer be copied: the save stops before writing.
    c->setDocumentEdited(true);
    ASSERT_TRUE(QFile::remove(t21));
    QString error;
    EXPECT_FALSE(save(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(c->isDocumentEdited());
    ASSERT_TRUE(dataFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(dataFile.readAll(), previous);
}

TEST_F(ProjectTest, DamagedFoldersChangeNothingAndMissingSourcesAreNamed) {
    append(writeTone(QStringLiteral("one.wav"), 2, 440));
    append(writeTone(QStringLiteral("two.wav"), 3, 660));
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Damaged.trvproj"));
    ASSERT_TRUE(save(path));
    const QString data = QDir(path).filePath(QStringLiteral("projectData"));
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();

    // A damaged document: refused with a message, the composition as it was.
    for (const QByteArray& bad : {good.left(good.size() - 7), QByteArray("\xff\x00garbage", 9)}) {
        QFile w(data);
        ASSERT_TRUE(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
        w.write(bad);
        w.close();
        alerts.clear();
        c->loadTrackToCompositionForProject(QUrl::fromLocalFile(path));
        endEvent();
        EXPECT_EQ(alerts.size(), 1u);
        alerts.clear();
        EXPECT_EQ(tracks().size(), 2u);
    }
    QFile w(data);
    ASSERT_TRUE(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
    w.write(good);
    w.close();

    // One source gone: the other track loads and the missing one is named.
    QFile::remove(QDir(path).filePath(project::sourceCopyName(tracks()[0].audioURL.toLocalFile())));
    c->closeCompositionFrom(false);
    load(path);
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioFilter->durationInSeconds, 3.0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].informativeText.contains(QStringLiteral("one.wav"))) << alerts[0].informativeText.toStdString();
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
}

// A real plug-in with a changed parameter, enabled on a track: it is made
// again on loading with its value and sounds as before.
class ProjectPluginTest : public ProjectTest {
protected:
    static void SetUpTestSuite() {
        testsupport::useInstalledPlugins();
    }
    int pluginIndex(MusicFilter* t, const QString& suffix) {
        for (int i = 0; i < t->pluginsArray().size(); ++i)
            if (t->pluginsArray()[i].audioUnitName.endsWith(suffix)) return i;
        return -1;
    }
};

TEST_F(ProjectPluginTest, AnEnabledPluginComesBackWithItsValues) {
    c->ui.window->show();
    if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    auto track = append(writeTone(QStringLiteral("drive.wav"), 3.0, 330));
    waitForReadyItem();
    const std::vector<float> dry = settledRender();
    ASSERT_TRUE(waitUntil([&] { return track->pluginsPopUpButton != nullptr; }));
    const int i = pluginIndex(track.get(), QStringLiteral("Overdrive"));
    ASSERT_GE(i, 0);
    auto* popUp = qobject_cast<QComboBox*>(track->pluginsPopUpButton.data());
    auto* check = qobject_cast<QCheckBox*>(track->pluginsCheckButton.data());
    popUp->setCurrentIndex(i);
    check->click();
    ASSERT_TRUE(waitUntil([&] { return track->pluginsArray()[i].audioUnitPointerSet; }));
    endEvent();
    units::Unit* unit = track->pluginsArray()[i].audioUnit;
    const auto ids = unit->parameterList();
    ASSERT_FALSE(ids.empty());
    unit->setParameter(ids.front(), 0.9f);
    c->audioUnitPanel()->close();
    endEvent();
    const std::vector<float> wet = settledRender();

    const QString path = folder(QStringLiteral("Drive.trvproj"));
    QString error;
    ASSERT_TRUE(save(path, &error)) << error.toStdString();
    c->closeCompositionFrom(false);
    load(path);
    ASSERT_EQ(tracks().size(), 1u);
    MusicFilter* loaded = tracks()[0].audioFilter.get();
    const int j = pluginIndex(loaded, QStringLiteral("Overdrive"));
    ASSERT_GE(j, 0);
    ASSERT_TRUE(waitUntil([&] { return loaded->pluginsArray()[j].audioUnitPointerSet; }));
    endEvent();
    EXPECT_TRUE(loaded->pluginsArray()[j].audioUnitEnabled);
    EXPECT_FLOAT_EQ(loaded->pluginsArray()[j].audioUnit->parameter(ids.front()), 0.9f);

    const std::vector<float> after = settledRender();
    ASSERT_EQ(after.size(), wet.size());
    double diff = 0, change = 0, level = 0;
    for (size_t k = 4410; k < after.size(); ++k) {
        diff += double(after[k] - wet[k]) * (after[k] - wet[k]);
        change += double(wet[k] - dry[k]) * (wet[k] - dry[k]);
        level += double(wet[k]) * wet[k];
    }
    EXPECT_GT(std::sqrt(change / level), 0.1) << "the plug-in changes the sound";
    EXPECT_LT(std::sqrt(diff / level), 1e-4) << "and changes it as before";
}
