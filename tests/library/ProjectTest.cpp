// Project folders: the stored document refuses what does not fit; a saved
// composition loads back into the same model and sounds the same; saving
// keeps one copy per source and nothing stray; a damaged folder changes
// nothing and a missing source is named while the other tracks load.
#include "../app/TrackListFixture.h"

#include "app/EffectControls.h"
#include "library/ProjectLoading.h"
#include "platform/core/Archive.h"
#include "platform/media/Composition.h"
#include "views/ExportViews.h"
#include "views/FilePanels.h"

#include <QLineEdit>

#include "platform/units/PluginHost.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"
#include "support/InstalledPlugins.h"
#include "views/PresetBrowser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPointer>

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
    r.filterInfo.filterInfoActivePluginsName = {QStringLiteral("MDA Delay"), QStringLiteral("MDA RingMod")};
    r.filterInfo.filterInfoSwitchedOffPluginsName = {QStringLiteral("MDA RingMod")};
    r.filterInfo.filterInfoCompositionDuration = 2;
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        r.filterInfo.filterPresetData.parameters.inputs[i] = float(effectControlTable[i].defaultValue);
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
    EXPECT_EQ(back->front().filterInfo.filterInfoSwitchedOffPluginsName, QStringList{QStringLiteral("MDA RingMod")});
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

// Projects and presets keep notes in the note lists' own stored form, time
// stamps included; the track's media URL is stored as a URL.
TEST(ProjectRecordsTest, NotesAndTheBaseURLKeepTheirStoredForm) {
    MidiNoteRecord on;
    on.midiCommand = {0x93, 64, 90};
    on.midiTimestamp = 0xF000000000000001ull;  // beyond a signed 64-bit number
    on.midiCommandTime = MediaTime::fromSeconds(0.5, 44100);
    on.midiCommandEndTime = MediaTime::fromSeconds(1.25, 44100);
    on.midiCommandIsRecorded = true;
    on.midiNote = 64;
    MidiNoteRecord off = on;
    off.midiCommand = {0x83, 64, 0};
    off.midiTimestamp = 987654321;
    off.midiCommandTime = on.midiCommandEndTime;
    off.midiCommandEndTime.reset();
    const MidiNoteList notes{on, off};
    const QCborArray stored = notelists::createACopyOfMidiArrayForExporting(notes);

    project::ProjectDocument document = smallDocument();
    document.front().filterInfo.filterInfoBaseURL = QUrl::fromLocalFile(QStringLiteral("/Music/take one.wav"));
    for (const MidiNoteRecord& n : notes) document.front().filterInfo.filterInfoMidiArray.push_back(notelists::exportedNote(n));
    project::PresetRecord preset;
    preset.presetMidiArray.emplace();
    for (const MidiNoteRecord& n : notes) preset.presetMidiArray->push_back(notelists::exportedNote(n));

    const QCborMap projectInfo = archive::decode(project::encodeProject(document), nullptr)
                                     ->toArray().at(0).toMap().value(QStringLiteral("filterInfo")).toMap();
    const QCborMap presetRoot = archive::decode(project::encodePresetFile(preset), nullptr)->toMap();
    EXPECT_EQ(projectInfo.value(QStringLiteral("filterInfoMidiArray")).toArray(), stored);
    EXPECT_EQ(presetRoot.value(QStringLiteral("presetMidiArray")).toArray(), stored);
    const QCborValue url = projectInfo.value(QStringLiteral("filterInfoBaseURL"));
    EXPECT_TRUE(url.isUrl());
    EXPECT_EQ(url.toUrl(), QUrl::fromLocalFile(QStringLiteral("/Music/take one.wav")));

    QString error;
    auto back = project::decodeProject(project::encodeProject(document), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->front().filterInfo.filterInfoBaseURL, document.front().filterInfo.filterInfoBaseURL);
    ASSERT_EQ(back->front().filterInfo.filterInfoMidiArray.size(), 2u);
    MidiNoteList loaded;
    for (const auto& n : back->front().filterInfo.filterInfoMidiArray) loaded.push_back(notelists::importedNote(n, 44100));
    EXPECT_EQ(loaded, notes);

    // A preset file without notes says nothing about them; one with an
    // empty array says the track has none.
    project::PresetRecord silent;
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        silent.base.parameters.inputs[i] = float(effectControlTable[i].defaultValue);
    auto read = project::decodePresetFile(project::encodePresetFile(silent), &error);
    ASSERT_TRUE(read) << error.toStdString();
    EXPECT_FALSE(read->presetMidiArray);
    silent.presetMidiArray.emplace();
    read = project::decodePresetFile(project::encodePresetFile(silent), &error);
    ASSERT_TRUE(read && read->presetMidiArray) << error.toStdString();
    EXPECT_TRUE(read->presetMidiArray->empty());
}

class ProjectTest : public TrackListTest {
protected:
    QString folder(const QString& name) { return QDir(base).filePath(name); }
    const QString base = testsupport::tempDir();

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
        // The lane's exact frame and its region.
        double laneX, laneWidth, regionX, regionWidth;
        bool operator==(const TrackState&) const = default;
    };
    std::vector<TrackState> state() {
        std::vector<TrackState> out;
        for (const auto& r : tracks()) {
            const auto& t = *r.audioFilter;
            const AudioDrawingView* lane = AudioController::trackLaneOf(&t);
            const QRectF region = lane->drawingBezierPath.boundingRect();
            out.push_back({t.animationStart().seconds(), t.animationEnd().seconds(), t.value(EffectInput::Speed),
                           t.durationInSeconds, t.tempFilterTracks[t.indexOfUpdatedTrack]->segments().size(),
                           lane->selectionPastes, t.midiArray.size(), lane->frameX(), lane->frameWidth(), region.x(),
                           region.width()});
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
    // Track 1: silence inserted into its edit list, which leaves its lane
    // a fraction of a point wide (8.7 points at zoom 1).
    // The speed change refreshes the player; edits wait for it.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    c->currentSelectedAudio = 1;
    ASSERT_TRUE(c->pasteSelectionEmptyInFilterFrom(nullptr, 1.0, 0.35, true));
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
    on.midiTimestamp = 4242424242;  // as a device stamps it
    third->midiArray = {on};
    third->publishNotes();
    c->currentSelectedAudio = 2;
    c->editing.markersArray = {{1.25, QStringLiteral("Chorus")}, {3.5, QStringLiteral("End")}};
    c->metadataPopover()->metadataTitleTextField->setText(QStringLiteral("Song"));
    waitForReadyItem();
    endEvent();

    const std::vector<float> before = settledRender();
    const auto modelBefore = state();
    // What each lane shows, and the source's own picture of the edited track.
    std::vector<QImage> shown;
    // The lanes draw a picture's coverage: that is what is compared.
    for (const auto& r : tracks())
        shown.push_back(r.audioFilter->filterBitmaps.at(r.audioFilter->indexOfUpdatedBitmap).convertToFormat(QImage::Format_Alpha8));
    const QImage sourcePicture = tracks()[1].audioFilter->filterBitmaps.front().convertToFormat(QImage::Format_Alpha8);
    ASSERT_NE(shown[1], sourcePicture) << "the inserted silence shows in the lane";
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
    c->loadTrackToCompositionForProject(QUrl::fromLocalFile(moved));
    EXPECT_TRUE(c->progressSheet()->isVisible());
    EXPECT_EQ(c->progressSheet()->sheetInfoTextField->text(), QStringLiteral("Loading Project..."));
    waitLoaded();

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
    EXPECT_EQ(third->midiArray.front().midiTimestamp, on.midiTimestamp);
    // Each lane shows its saved picture, after the source's own.
    for (size_t i = 0; i < tracks().size(); ++i) {
        const MusicFilter& t = *tracks()[i].audioFilter;
        ASSERT_EQ(t.filterBitmaps.size(), 2) << "track " << i;
        EXPECT_EQ(t.indexOfUpdatedBitmap, 1u) << "track " << i;
        EXPECT_TRUE(t.filterBitmaps[1].convertToFormat(QImage::Format_Alpha8) == shown[i]) << "track " << i;
    }
    EXPECT_TRUE(tracks()[1].audioFilter->filterBitmaps[0].convertToFormat(QImage::Format_Alpha8) == sourcePicture);
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

// A project opened again and again: each load lets go of everything the
// one before it made (its tracks, their views and pictures, the player's
// item), so that memory does not grow with every load.
TEST_F(ProjectTest, EachLoadReleasesWhatThePreviousLoadMade) {
    append(writeTone(QStringLiteral("one.wav"), 3, 330));
    append(writeTone(QStringLiteral("two.wav"), 2, 550));
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Again.trvproj"));
    QString error;
    ASSERT_TRUE(save(path, &error)) << error.toStdString();
    load(path);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(tracks().size(), 2u);
        std::vector<std::weak_ptr<MusicFilter>> filters;
        std::vector<QPointer<QWidget>> views;
        for (const auto& r : tracks()) {
            filters.push_back(r.audioFilter);
            for (QWidget* w : {r.audioFilter->audioDrawingView.data(), r.audioFilter->imageView.data(),
                               r.audioFilter->meteringView.data(), r.audioFilter->audioLabel.data(),
                               r.audioFilter->audioTimeLabel.data(), r.audioFilter->audioSampleRateLabel.data()})
                views.emplace_back(w);
        }
        std::weak_ptr<PlayerItem> item = player->currentItemShared();
        ASSERT_FALSE(item.expired());

        load(path);
        ASSERT_EQ(tracks().size(), 2u);
        EXPECT_TRUE(alerts.empty());
        auto released = [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            for (const auto& f : filters)
                if (!f.expired()) return false;
            for (const auto& v : views)
                if (v) return false;
            return item.expired();
        };
        EXPECT_TRUE(waitUntil(released, 10000));
        for (size_t i = 0; i < filters.size(); ++i)
            EXPECT_TRUE(filters[i].expired()) << "track " << i << " is held by " << filters[i].use_count() << " owners";
        for (size_t i = 0; i < views.size(); ++i) EXPECT_FALSE(views[i]) << "view " << i;
        EXPECT_TRUE(item.expired()) << "the previous player item is held";
        // The stores keyed by track hold the tracks there are, no others.
        QStringList ids;
        for (const auto& r : tracks()) ids << r.audioFilter->identifierOfFilter;
        for (const auto* store : {&c->automation.recordedParameters, &c->automation.tempRecorderParameters})
            for (const auto& [id, curves] : *store) EXPECT_TRUE(ids.contains(id)) << id.toStdString();
        for (const auto& [id, entries] : c->automation.selectionParameters) EXPECT_TRUE(ids.contains(id)) << id.toStdString();
    }
}

// A track's time label says what the track plays, edits included: after a
// load as before the save.
TEST_F(ProjectTest, EditedTracksShowWhatTheyPlayAfterALoad) {
    append(writeTone(QStringLiteral("ten.wav"), 10, 440));
    waitForReadyItem();
    c->currentSelectedAudio = 0;
    // 2 s of silence make the track 12 s long.
    ASSERT_TRUE(c->pasteSelectionEmptyInFilterFrom(nullptr, 1.0, 2.0, true));
    waitForReadyItem();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    // 2 s of it split off into a track of their own.
    MusicFilter* edited = tracks()[0].audioFilter.get();
    const double W = lane(0)->width(), D = edited->durationInSeconds;
    lane(0)->selectionPaths = {SelectionPathRecord{QPointF(4 / D * W, 5), QPointF(6 / D * W, 5)}};
    c->splitCurrentSelectionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return tracks().size() == 2 && !c->shell.audioControllerIsWorking; }));
    waitForReadyItem();
    endEvent();
    QStringList before;
    for (const auto& r : tracks()) before << text(r.audioFilter->audioTimeLabel);
    ASSERT_EQ(before[0], QStringLiteral("00:00:12 / 00:00:12"));
    ASSERT_TRUE(before[1].startsWith(QStringLiteral("00:00:02"))) << before[1].toStdString();

    const QString path = folder(QStringLiteral("Labels.trvproj"));
    QString error;
    ASSERT_TRUE(save(path, &error)) << error.toStdString();
    c->closeCompositionFrom(false);
    load(path);
    ASSERT_EQ(tracks().size(), 2u);
    QStringList after;
    for (const auto& r : tracks()) after << text(r.audioFilter->audioTimeLabel);
    EXPECT_EQ(after, before);
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

// The project panels show a project folder as one item: it is chosen, never
// browsed, while other folders are browsed; Save As can choose an existing
// project to replace, and asks first.
TEST_F(ProjectTest, PanelsChooseAProjectFolderAsOneItem) {
    append(writeTone(QStringLiteral("p.wav"), 1, 440));
    waitForReadyItem();
    const QString existing = folder(QStringLiteral("Existing.trvproj"));
    ASSERT_TRUE(save(existing));
    const QString inner = folder(QStringLiteral("Plain/Inner.trvproj"));
    ASSERT_TRUE(QDir().mkpath(inner));
    auto openPanel = [&]() -> PackagePanel* {
        PackagePanel* found = nullptr;
        waitUntil([&] {
            for (auto* p : c->ui.window->findChildren<PackagePanel*>())
                if (p->isVisible()) found = p;
            return found != nullptr;
        });
        return found;
    };

    // Save As onto the existing project: a question, then the save into it.
    c->library.projectURL = QUrl();
    c->saveAsProjectFrom();
    PackagePanel* panel = openPanel();
    ASSERT_TRUE(panel);
    panel->setDirectory(base);
    panel->selectFile(QStringLiteral("Existing.trvproj"));
    answer = 1;  // "Cancel"
    alerts.clear();
    panel->accept();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("“Existing.trvproj” already exists. Do you want to replace it?"));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Replace"), QStringLiteral("Cancel")}));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(QDir(panel->directory()).absolutePath(), QDir(base).absolutePath()) << "not opened";
    answer = 0;  // "Replace"
    panel->accept();
    ASSERT_TRUE(waitUntil([&] { return !c->library.projectURL.isEmpty(); }));
    EXPECT_EQ(c->library.projectURL, QUrl::fromLocalFile(existing));
    ASSERT_TRUE(waitUntil([&] { return !c->projectSaveIsRunning(); }));

    // A name with a dot in it, as the default name has, still takes the
    // extension, and the title shows the whole name, however the panel is
    // confirmed: Return in the name field, or the Save button.
    const QString proposed = project::defaultProjectName(QDateTime(QDate(2026, 12, 11), QTime(2, 15, 12)));
    ASSERT_EQ(proposed, QStringLiteral("My Project - 12-11-2026,2.15.12"));
    const struct {
        const char* way;
        QString name;
        std::function<void(PackagePanel*)> confirm;
    } ways[] = {
        {"Return in the name field", proposed,
         [](PackagePanel* p) {
             auto* edit = p->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
             ASSERT_TRUE(edit);
             // As the user has it: the panel active, the name field focused.
             p->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(p));
             edit->setFocus();
             ASSERT_TRUE(edit->hasFocus());
             QTest::keyClick(edit, Qt::Key_Return);
         }},
        {"the Save button", proposed,
         [](PackagePanel* p) {
             auto* buttons = p->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
             ASSERT_TRUE(buttons && buttons->button(QDialogButtonBox::Save));
             buttons->button(QDialogButtonBox::Save)->click();
         }},
        {"the panel's accept", QStringLiteral("Take 2.1"), [](PackagePanel* p) { p->accept(); }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        const QString into = folder(QString::fromUtf8(w.way));
        ASSERT_TRUE(QDir().mkpath(into));
        c->library.projectURL = QUrl();
        c->saveAsProjectFrom();
        panel = openPanel();
        ASSERT_TRUE(panel);
        panel->setDirectory(into);
        panel->selectFile(w.name);
        w.confirm(panel);
        ASSERT_TRUE(waitUntil([&] { return !c->library.projectURL.isEmpty() && !c->projectSaveIsRunning(); }));
        const QString saved = QDir(into).filePath(w.name + QStringLiteral(".trvproj"));
        EXPECT_EQ(c->library.projectURL, QUrl::fromLocalFile(saved));
        EXPECT_TRUE(QFileInfo(QDir(saved).filePath(QStringLiteral("projectData"))).isFile());
        EXPECT_EQ(QDir(into).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QFileInfo(saved).fileName()});
        EXPECT_EQ(c->ui.window->windowTitle(), w.name + QStringLiteral("[*]"));
    }

    // Load Project: its message as a message; a plain folder is browsed, a
    // project folder entered by a double click is chosen.
    c->loadProjectFrom();
    panel = openPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("Select a Project"));
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Load Project"));
    auto* message = panel->findChild<QLabel*>(QStringLiteral("panelMessage"));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text(), QStringLiteral("Select the project you want to open."));
    EXPECT_TRUE(message->isVisibleTo(panel));
    panel->setDirectory(base);
    panel->selectFile(QStringLiteral("Plain"));
    panel->accept();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(QDir(panel->directory()).absolutePath(), QDir(folder(QStringLiteral("Plain"))).absolutePath());
    alerts.clear();
    panel->setDirectory(inner);
    emit panel->directoryEntered(inner);
    EXPECT_FALSE(panel->isVisible());
    // It holds no project data: refused by name, nothing closed.
    ASSERT_TRUE(waitUntil([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("The project “Inner” could not be opened."));
    EXPECT_EQ(tracks().size(), 1u);

    // The saved project, chosen with the panel's button, loads.
    c->loadProjectFrom();
    panel = openPanel();
    ASSERT_TRUE(panel);
    panel->setDirectory(base);
    panel->selectFile(QStringLiteral("Existing.trvproj"));
    panel->accept();
    // The load starts after the panel has gone.
    ASSERT_TRUE(waitUntil([&] { return c->library.projectURL == QUrl::fromLocalFile(existing); }));
    waitLoaded();
    EXPECT_EQ(tracks().size(), 1u);
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
        ASSERT_TRUE(waitUntil([&] { return c->projectLoading && c->projectLoading->finished; }));
        endEvent();
        EXPECT_EQ(alerts.size(), 1u);
        alerts.clear();
        EXPECT_EQ(tracks().size(), 2u);
    }
    QFile w(data);
    ASSERT_TRUE(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
    w.write(good);
    w.close();

    // A folder that is not a project, though it holds one's data: said so.
    const QString plain = folder(QStringLiteral("Plain"));
    ASSERT_TRUE(QDir().mkpath(plain));
    ASSERT_TRUE(QFile::copy(data, QDir(plain).filePath(QStringLiteral("projectData"))));
    c->loadTrackToCompositionForProject(QUrl::fromLocalFile(plain));
    endEvent();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].informativeText.contains(QStringLiteral(".trvproj")));
    alerts.clear();
    EXPECT_EQ(tracks().size(), 2u);

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
};

TEST_F(ProjectPluginTest, AnEnabledPluginComesBackWithItsValues) {
    c->ui.window->show();
    if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    auto track = append(writeTone(QStringLiteral("drive.wav"), 3.0, 330));
    waitForReadyItem();
    const std::vector<float> dry = settledRender();
    units::Unit* unit = switchOnPlugin(track.get(), QStringLiteral("Overdrive"));
    ASSERT_TRUE(unit);
    const auto ids = unit->parameterList();
    ASSERT_FALSE(ids.empty());
    unit->setParameter(ids.front(), 0.9f);
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

// Presets applied to a real track: a source track with an mda Overdrive
// switched on, settings, a curve and a note is kept as a preset; the
// browser, the clipboard and undo apply it to, and take it off, another.
class PresetTest : public ProjectPluginTest {
protected:
    void SetUp() override {
        ProjectPluginTest::SetUp();
        QDir(c->getAppSupportPath()).removeRecursively();
        c->loadPresets();
        c->ui.window->show();
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    }

    PresetsViewController* browser() { return c->presets.presetsViewController; }
    void clickItem(int row) {
        QListView* view = browser()->presetsBrowserView;
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
        endEvent();
    }

    // The track's Overdrive switched on with its first parameter at `value`.
    uint32_t switchOnOverdrive(MusicFilter* t, float value) {
        units::Unit* unit = switchOnPlugin(t, QStringLiteral("Overdrive"));
        if (!unit) return 0;
        const uint32_t id = unit->parameterList().front();
        unit->setParameter(id, value);
        return id;
    }
    const PluginRecord* overdriveOf(MusicFilter* t) {
        const int i = pluginIndex(t, QStringLiteral("Overdrive"));
        return i < 0 ? nullptr : &t->pluginsArray()[i];
    }

    static MidiNoteList noteAt(double start, uint32_t note) {
        MidiNoteRecord on;
        on.midiCommand = {0x90, uint8_t(note), 100};
        on.midiCommandTime = MediaTime::fromSeconds(start, 44100);
        on.midiCommandEndTime = MediaTime::fromSeconds(start + 0.5, 44100);
        on.midiCommandIsRecorded = true;
        on.midiNote = note;
        return {on};
    }
    void setCurves(MusicFilter* t, TrackCurves curves) {
        c->automation.recordedParameters[t->identifierOfFilter] = std::move(curves);
        c->automation.tempRecorderParameters = c->automation.recordedParameters;
        c->publishAllRecordedParameters();
    }
    TrackCurves curvesOf(MusicFilter* t) {
        auto it = c->automation.recordedParameters.find(t->identifierOfFilter);
        return it == c->automation.recordedParameters.end() ? TrackCurves() : it->second;
    }
    static void expectSameTimes(const TrackCurves& a, const TrackCurves& b, const char* what) {
        ASSERT_EQ(a.size(), b.size()) << what;
        for (const auto& [key, curve] : a) {
            ASSERT_TRUE(b.count(key)) << what << " " << key.toStdString();
            ASSERT_EQ(curve.size(), b.at(key).size()) << what;
            for (size_t i = 0; i < curve.size(); ++i) {
                EXPECT_NEAR(curve[i].time, b.at(key)[i].time, 0.02) << what << " point " << i;
                EXPECT_EQ(curve[i].value, b.at(key)[i].value) << what << " point " << i;
            }
        }
    }
    QString presetPath(const QString& name) { return QDir(c->getAppSupportPath()).filePath(name); }
};

TEST_F(PresetTest, AtTheSameSpeedThePresetsPluginsComeAndOneUndoTakesEverythingBack) {
    auto source = append(writeTone(QStringLiteral("source.wav"), 3.0, 330));
    auto target = append(writeTone(QStringLiteral("target.wav"), 3.0, 330));
    waitForReadyItem();
    ASSERT_EQ(source->animationStart(), target->animationStart());
    const std::vector<float> dry = renderedLeft(target.get());

    // The source: Overdrive on, other settings, a linear curve and a note.
    const uint32_t drive = switchOnOverdrive(source.get(), 0.9f);
    source->setValue(EffectInput::Pitch, 300.0f);
    source->setValue(EffectInput::FadeIn, 0.25f);
    source->typeOfRecordedCurve = 1;
    setCurves(source.get(), {{QStringLiteral("inputAudioMix"), {{0.0, 1.0, std::nullopt}, {1.5, 0.5, std::nullopt}}}});
    source->midiArray = noteAt(1.0, 64);
    source->publishNotes();
    c->currentSelectedAudio = 0;
    c->presets.presetsTextField->setText(QStringLiteral("Drive"));
    c->savePresetFrom();
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(c->presets.presetsTextField->text().isEmpty());
    ASSERT_EQ(browser()->numberOfItemsInImageBrowser(), 1);
    EXPECT_EQ(browser()->imageBrowserItemAtIndex(0)->imageTitle(), QStringLiteral("Drive"));

    // The target: its own curve (stepped), note and settings.
    const TrackCurves sourceCurves = curvesOf(source.get());
    const TrackCurves targetCurves{{QStringLiteral("inputReverbWetDryMix"), {{0.5, 10.0f, std::nullopt}, {2.0, 50.0f, 1}}}};
    setCurves(target.get(), targetCurves);
    target->midiArray = noteAt(0.25, 40);
    target->publishNotes();
    AudioDrawingView* lane = AudioController::trackLaneOf(target.get());
    const QRect laneBefore = lane->geometry();
    const float pitchBefore = target->value(EffectInput::Pitch);
    const int undoSteps = c->undoManager()->undoCount();

    // Applied from the browser to the selected track.
    c->currentSelectedAudio = 1;
    clickItem(0);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + 1);
    auto expectPreset = [&](const char* when) {
        EXPECT_EQ(target->value(EffectInput::Pitch), 300.0f) << when;
        EXPECT_EQ(lane->fadeInPercent, 0.25) << when;
        EXPECT_EQ(target->typeOfRecordedCurve, 1u) << when;
        ASSERT_EQ(target->midiArray.size(), 1u) << when;
        EXPECT_EQ(target->midiArray.front().midiNote, 64u) << when;
        expectSameTimes(curvesOf(target.get()), sourceCurves, when);  // the same place and length as the source
        EXPECT_EQ(lane->geometry(), laneBefore) << when;
        EXPECT_TRUE(target->filterActivePluginsName.contains(overdriveOf(source.get())->audioUnitName)) << when;
        ASSERT_TRUE(waitUntil([&] { return overdriveOf(target.get()) && overdriveOf(target.get())->audioUnitPointerSet; }))
            << when;
        endEvent();
        const PluginRecord* plugin = overdriveOf(target.get());
        EXPECT_TRUE(plugin->audioUnitEnabled) << when;
        EXPECT_FLOAT_EQ(plugin->audioUnit->parameter(drive), 0.9f) << when;
    };
    expectPreset("applied");
    // It sounds as on the source: the two tracks play the same tone.
    waitForReadyItem();
    const std::vector<float> wet = renderedLeft(target.get());
    const std::vector<float> model = renderedLeft(source.get());
    ASSERT_EQ(wet.size(), dry.size());
    ASSERT_EQ(model.size(), dry.size());
    double change = 0, diff = 0, level = 0;
    for (size_t k = 4410; k < wet.size(); ++k) {
        change += double(wet[k] - dry[k]) * (wet[k] - dry[k]);
        diff += double(wet[k] - model[k]) * (wet[k] - model[k]);
        level += double(model[k]) * model[k];
    }
    EXPECT_GT(std::sqrt(change / level), 0.1) << "the preset changes the sound";
    EXPECT_LT(std::sqrt(diff / level), 1e-3) << "as it changes the source's";

    // One undo: the target as it was, the source's curves untouched.
    undo();
    EXPECT_EQ(target->value(EffectInput::Pitch), pitchBefore);
    EXPECT_EQ(lane->fadeInPercent, 0.0);
    EXPECT_EQ(target->typeOfRecordedCurve, 0u) << "the curves play in their own style again";
    ASSERT_EQ(target->midiArray.size(), 1u);
    EXPECT_EQ(target->midiArray.front().midiNote, 40u);
    expectSameTimes(curvesOf(target.get()), targetCurves, "undone");
    expectSameTimes(curvesOf(source.get()), sourceCurves, "the source after the undo");
    EXPECT_EQ(lane->geometry(), laneBefore);
    EXPECT_FALSE(target->filterActivePluginsName.contains(overdriveOf(source.get())->audioUnitName));
    ASSERT_TRUE(waitUntil([&] { return target->pluginsPopUpButton != nullptr; }));
    endEvent();
    ASSERT_TRUE(overdriveOf(target.get()));
    EXPECT_FALSE(overdriveOf(target.get())->audioUnitEnabled);

    redo();
    expectPreset("redone");
}

TEST_F(PresetTest, AtAnotherSpeedTheLaneIsLaidOutAgainAndTheTrackKeepsItsPlugins) {
    auto source = append(writeTone(QStringLiteral("fast.wav"), 4.0, 440));
    auto target = append(writeTone(QStringLiteral("slow.wav"), 4.0, 220));
    waitForReadyItem();
    // A preset at speed 2 with a plug-in, and without curves or notes.
    switchOnOverdrive(source.get(), 0.7f);
    source->setValue(EffectInput::Speed, 2.0f);
    c->updateFilterSpeed(source.get(), nullptr, 1.0);
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    c->currentSelectedAudio = 0;
    ASSERT_FALSE(c->savePreset(QStringLiteral("Fast")).isEmpty());
    c->loadPresets();

    // The target's own curve and note, at speed 1.
    const TrackCurves own{{QStringLiteral("inputAudioMix"), {{1.0, 0.5, std::nullopt}, {3.0, 1.0, std::nullopt}}}};
    setCurves(target.get(), own);
    target->midiArray = noteAt(2.0, 50);
    target->publishNotes();
    waitForReadyItem();
    AudioDrawingView* lane = AudioController::trackLaneOf(target.get());
    const QRect laneBefore = lane->geometry();
    const QStringList pluginsBefore = target->filterActivePluginsName;

    c->currentSelectedAudio = 1;
    clickItem(0);
    EXPECT_EQ(target->value(EffectInput::Speed), 2.0f);
    EXPECT_NEAR(lane->width(), laneBefore.width() / 2.0, 2.0) << "the lane is laid out for the new speed";
    EXPECT_EQ(target->filterActivePluginsName, pluginsBefore) << "the track keeps its plug-ins";
    EXPECT_TRUE(curvesOf(target.get()).empty()) << "the preset's empty curves replace the track's";
    EXPECT_TRUE(target->midiArray.empty()) << "and its empty notes the track's";
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    waitForReadyItem();

    undo();
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_EQ(target->value(EffectInput::Speed), 1.0f);
    EXPECT_EQ(lane->geometry(), laneBefore);
    // Back where they were: the speed change must not scale them again.
    expectSameTimes(curvesOf(target.get()), own, "undone");
    ASSERT_EQ(target->midiArray.size(), 1u);
    EXPECT_NEAR(target->midiArray.front().midiCommandTime->seconds(), 2.0, 1e-6);
}

TEST_F(PresetTest, ClipboardPresetDataAppliesOnlyWhenEveryFieldFits) {
    auto source = append(writeTone(QStringLiteral("copy.wav"), 2.0, 440));
    auto target = append(writeTone(QStringLiteral("paste.wav"), 2.0, 440));
    waitForReadyItem();
    source->setValue(EffectInput::Pitch, 200.0f);
    c->currentSelectedAudio = 0;
    c->copyPresetFilterToPasteboardFrom();
    ASSERT_TRUE(c->pasteboardItems);
    const QByteArray good = std::get<PresetPasteboardRecord>(*c->pasteboardItems).data;

    // One field of the copied data changed to another kind.
    auto edited = [&](const std::function<void(QCborMap&)>& change) {
        QCborMap root = archive::decode(good, nullptr)->toMap();
        change(root);
        return archive::encode(root);
    };
    const struct {
        const char* name;
        QByteArray bytes;
    } wrong[] = {
        {"not a document", QByteArray("preset")},
        {"a value as text", edited([](QCborMap& m) { m.insert(QStringLiteral("inputPitch"), QStringLiteral("200")); })},
        {"curves as a list", edited([](QCborMap& m) { m.insert(QStringLiteral("presetRecordedDictionary"), QCborArray{1, 2}); })},
        {"notes as a map", edited([](QCborMap& m) { m.insert(QStringLiteral("presetMidiArray"), QCborMap()); })},
        {"plug-in names as numbers", edited([](QCborMap& m) {
             m.insert(QStringLiteral("presetDynamicAudioUnits"), QCborArray());
             m.insert(QStringLiteral("presetFilterActivePluginsName"), QCborArray{1});
         })},
        {"a unit parameter as text", edited([](QCborMap& m) {
             m.insert(QStringLiteral("filterAudioUnits"), QCborArray{QStringLiteral("x")});
         })},
    };
    c->currentSelectedAudio = 1;
    const float pitchBefore = target->value(EffectInput::Pitch);
    const int undoSteps = c->undoManager()->undoCount();
    for (const auto& w : wrong) {
        alerts.clear();
        c->pasteboardItems = PresetPasteboardRecord{w.bytes};
        c->pasteAudioFileFrom();
        endEvent();
        EXPECT_EQ(target->value(EffectInput::Pitch), pitchBefore) << w.name;
        EXPECT_EQ(c->undoManager()->undoCount(), undoSteps) << w.name;
        EXPECT_EQ(alerts.size(), 1u) << w.name << ": the refusal is said";
    }

    // The data as copied applies, as one undo step.
    c->pasteboardItems = PresetPasteboardRecord{good};
    c->pasteAudioFileFrom();
    endEvent();
    EXPECT_EQ(target->value(EffectInput::Pitch), 200.0f);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + 1);
}

// A preset's notes replace the track's, time stamps and all; a preset that
// carries no notes leaves the track's alone, one with an empty list clears them.
TEST_F(PresetTest, APresetReplacesTheTracksNotesOnlyWhenItCarriesThem) {
    auto source = append(writeTone(QStringLiteral("notes.wav"), 2.0, 440));
    auto target = append(writeTone(QStringLiteral("keeps.wav"), 2.0, 440));
    waitForReadyItem();
    MidiNoteList stamped = noteAt(0.25, 62);
    stamped[0].midiTimestamp = 777000111;
    source->midiArray = stamped;
    source->publishNotes();
    c->currentSelectedAudio = 0;
    c->copyPresetFilterToPasteboardFrom();
    ASSERT_TRUE(c->pasteboardItems);
    const QByteArray withNotes = std::get<PresetPasteboardRecord>(*c->pasteboardItems).data;
    QCborMap root = archive::decode(withNotes, nullptr)->toMap();
    root.remove(QStringLiteral("presetMidiArray"));
    const QByteArray withoutNotes = archive::encode(root);
    root.insert(QStringLiteral("presetMidiArray"), QCborArray());
    const QByteArray noNotes = archive::encode(root);

    const MidiNoteList own = noteAt(1.0, 70);
    const struct {
        const char* name;
        QByteArray data;
        MidiNoteList expected;
    } cases[] = {{"the preset's notes", withNotes, stamped},
                 {"no notes in the preset", withoutNotes, own},
                 {"an empty list", noNotes, {}}};
    for (const auto& k : cases) {
        target->midiArray = own;
        target->publishNotes();
        c->currentSelectedAudio = 1;
        c->pasteboardItems = PresetPasteboardRecord{k.data};
        c->pasteAudioFileFrom();
        endEvent();
        EXPECT_EQ(target->midiArray, k.expected) << k.name;
    }
}

TEST_F(PresetTest, DeletingAsksAndFallsBackToTheBrowsersSelection) {
    append(writeTone(QStringLiteral("one.wav"), 1.0, 440));
    waitForReadyItem();
    c->currentSelectedAudio = 0;
    for (const char* name : {"Bass", "Lead"}) ASSERT_FALSE(c->savePreset(QString::fromLatin1(name)).isEmpty());
    c->loadPresets();
    ASSERT_EQ(browser()->numberOfItemsInImageBrowser(), 2);
    const int lead = browser()->imageBrowserItemAtIndex(0)->imageTitle() == QStringLiteral("Lead") ? 0 : 1;
    clickItem(lead);
    QLineEdit* field = c->presets.presetsTextField;

    // A typed name: "Cancel" ends the command, the selection is not asked.
    field->setText(QStringLiteral("Bass"));
    answer = 1;
    c->removePresetFrom();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("Are you sure you want to delete this preset?"));
    EXPECT_EQ(alerts[0].informativeText, QStringLiteral("Preset name: “Bass”"));
    EXPECT_TRUE(QFileInfo::exists(presetPath(QStringLiteral("Bass"))));
    EXPECT_TRUE(QFileInfo::exists(presetPath(QStringLiteral("Lead"))));

    answer = 0;
    c->removePresetFrom();
    EXPECT_FALSE(QFileInfo::exists(presetPath(QStringLiteral("Bass"))));
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(c->library.presetsArray.size(), 1);

    // A name of no preset: the browser's selection is deleted instead.
    alerts.clear();
    clickItem(0);
    field->setText(QStringLiteral("../Lead"));
    c->removePresetFrom();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].informativeText, QStringLiteral("Preset name: “Lead”"));
    EXPECT_FALSE(QFileInfo::exists(presetPath(QStringLiteral("Lead"))));
    EXPECT_EQ(browser()->numberOfItemsInImageBrowser(), 0);

    // Neither: nothing is asked.
    alerts.clear();
    c->removePresetFrom();
    EXPECT_TRUE(alerts.empty());
}

TEST_F(PresetTest, ListingWritingAndAClickWithoutTracks) {
    // A preset with a thumbnail, one without and a foreign file.
    project::PresetRecord preset;
    preset.base.parameters.inputs.fill(0.0f);
    preset.base.parameters.inputs[1] = 1.0f;  // a speed, which is never 0
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString folder = c->getAppSupportPath();
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(QStringLiteral("Plain"), project::encodePresetFile(preset));
    preset.base.presetThumbnailImage = project::tiffData(picture);
    write(QStringLiteral("Bass 2"), project::encodePresetFile(preset));
    write(QStringLiteral("notes.txt"), "not a preset");
    c->loadPresets();
    EXPECT_EQ(c->library.presetsArray.size(), 3);
    ASSERT_EQ(browser()->numberOfItemsInImageBrowser(), 1);
    EXPECT_EQ(browser()->imageBrowserItemAtIndex(0)->imageTitle(), QStringLiteral("Bass 2"));
    EXPECT_EQ(browser()->imageBrowserItemAtIndex(0)->presetImage.size(), picture.size());

    // Without tracks a click selects nothing and applies nothing.
    clickItem(0);
    EXPECT_TRUE(browser()->presetsBrowserView->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_EQ(browser()->currentSelectedPreset, PresetsViewController::kNotFound);
    EXPECT_EQ(c->undoManager()->undoCount(), 0);

    // Names that would write elsewhere, and a write made to fail, keep the
    // typed name and leave no file.
    append(writeTone(QStringLiteral("one.wav"), 1.0, 440));
    c->currentSelectedAudio = 0;
    QLineEdit* field = c->presets.presetsTextField;
    for (const char* name : {"", "a/b", ".hidden"}) {
        alerts.clear();
        field->setText(QString::fromLatin1(name));
        c->savePresetFrom(field);
        EXPECT_EQ(alerts.size(), 1u) << name;
        EXPECT_EQ(field->text(), QString::fromLatin1(name));
    }
    QDir(folder).removeRecursively();
    QFile blocker(folder);  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    alerts.clear();
    field->setText(QStringLiteral("Lead"));
    c->savePresetFrom();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(field->text(), QStringLiteral("Lead"));
    EXPECT_FALSE(QFileInfo(QDir(folder).filePath(QStringLiteral("Lead"))).exists());
    QFile::remove(folder);
}
