// Preset files: the "Presets" folder, its listing, and a preset built from
// the selected track and written under a free name.
#include "app/AudioController.h"
#include "library/ProjectRecords.h"

#include "engine/MusicFilter.h"
#include "platform/core/AppPaths.h"
#include "views/MusicView.h"
#include "views/PresetBrowser.h"

#include <QDir>
#include <QSaveFile>

QString AudioController::getAppSupportPath() const {
    const QString path = apppaths::presetsFolder();
    QDir().mkpath(path);
    return path;
}

void AudioController::loadPresets() {
    library.presetsArray = project::presetFiles(getAppSupportPath());
    if (presets.presetsViewController) presets.presetsViewController->updatePresetImages();
}

QByteArray AudioController::presetDataForSelectedTrack() {
    const quint64 index = currentSelectedAudio.load();
    MusicFilter* t = trackAt(index);
    if (!t) return {};
    t->updateListenerParametersFromAudioUnits();
    project::PresetRecord preset;
    preset.base.parameters = parametersDictionaryAtIndex(index);
    if (auto* thumbnail = qobject_cast<MusicView*>(t->imageView.data()))
        preset.base.presetThumbnailImage = project::tiffData(thumbnail->image);
    preset.base.presetRecordedDictionary = createRecordedDictionaryForPresetAtIndex(index);
    preset.base.presetRecordedTypeOfCurve = t->typeOfRecordedCurve;
    if (!t->dynamicAudioUnits.isEmpty() && !t->filterActivePluginsName.isEmpty())
        preset.plugins = project::PresetRecord::Plugins{t->dynamicAudioUnits, t->filterActivePluginsName,
                                                        t->pluginsPresetsDictionary, t->pluginsClassInfosDictionary};
    // Always present: a preset of a track without notes takes notes away.
    auto& notes = preset.presetMidiArray.emplace();
    for (const MidiNoteRecord& n : t->midiArray) notes.push_back(notelists::exportedNote(n));
    return project::encodePresetFile(preset);
}

QString AudioController::savePreset(const QString& name, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    if (const QString problem = project::presetNameProblem(name); !problem.isEmpty()) return fail(problem);
    const QByteArray data = presetDataForSelectedTrack();
    if (data.isEmpty()) return fail(QStringLiteral("Select the track whose settings the preset keeps."));
    const QString folder = getAppSupportPath();
    const QString path = QDir(folder).filePath(project::freePresetName(folder, name));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return fail(QStringLiteral("The preset could not be written: %1").arg(file.errorString()));
    return path;
}
