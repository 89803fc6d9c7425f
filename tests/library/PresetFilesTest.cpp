// Preset files: free names, the listing of the folder, refused names, a
// write that fails, and a preset of a real track read back.
#include "../app/TrackListFixture.h"

#include "library/ProjectRecords.h"
#include "platform/core/AppPaths.h"

#include <QDir>
#include <QFile>

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

}  // namespace

TEST(PresetNamesTest, FreeNamesAndRefusedNames) {
    const QString folder = testsupport::tempDir();
    const struct {
        QStringList existing;
        const char* typed;
        const char* chosen;
    } cases[] = {
        {{}, "Bass", "Bass"},
        {{"Bass"}, "Bass", "Bass 2"},
        {{"Bass", "Bass 2"}, "Bass", "Bass 3"},
        {{"Bass 2"}, "Bass 2", "Bass 2 2"},
        {{"Lead"}, "Bass", "Bass"},
    };
    for (const auto& c : cases) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        for (const QString& name : c.existing) touch(QDir(folder).filePath(name));
        EXPECT_EQ(project::freePresetName(folder, QString::fromUtf8(c.typed)), QString::fromUtf8(c.chosen)) << c.typed;
    }
    for (const char* bad : {"", "   ", "a/b", "../up", ".hidden"})
        EXPECT_FALSE(project::presetNameProblem(QString::fromUtf8(bad)).isEmpty()) << bad;
    EXPECT_TRUE(project::presetNameProblem(QStringLiteral("Warm Bass")).isEmpty());
}

class PresetFilesTest : public TrackListTest {};

TEST_F(PresetFilesTest, SavedPresetsAreListedAndReadBack) {
    const QString folder = c->getAppSupportPath();
    QDir(folder).removeRecursively();
    append(writeTone(QStringLiteral("preset.wav"), 3, 440));
    MusicFilter* t = tracks()[0].audioFilter.get();
    t->setValue(EffectInput::Pitch, 300.0f);
    c->automation.recordedParameters[t->identifierOfFilter] = {
        {QStringLiteral("inputAudioMix"), {{0.0, 1.0, std::nullopt}, {1.5, 0.5, 2}}}};

    QString error;
    const QString path = c->savePreset(QStringLiteral("Bass"), &error);
    ASSERT_FALSE(path.isEmpty()) << error.toStdString();
    EXPECT_EQ(c->savePreset(QStringLiteral("Bass")), QDir(folder).filePath(QStringLiteral("Bass 2")));

    // What the listing leaves out, and a foreign file it keeps.
    touch(QDir(folder).filePath(QStringLiteral(".hidden")));
    QDir(folder).mkdir(QStringLiteral("Sub"));
    touch(QDir(folder).filePath(QStringLiteral("Foreign")));
    c->loadPresets();
    QStringList names;
    for (const QUrl& u : c->library.presetsArray) names << QFileInfo(u.toLocalFile()).fileName();
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Bass"), QStringLiteral("Bass 2"), QStringLiteral("Foreign")}));

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    auto preset = project::decodePresetFile(f.readAll(), &error);
    ASSERT_TRUE(preset) << error.toStdString();
    EXPECT_EQ(preset->base.parameters.valueForKey(QStringLiteral("inputPitch")), 300.0f);
    ASSERT_TRUE(preset->base.presetRecordedDictionary);
    const KeyPointCurve& curve = preset->base.presetRecordedDictionary->at(QStringLiteral("inputAudioMix"));
    ASSERT_EQ(curve.size(), 2u);
    EXPECT_NEAR(curve[1].time, 0.5, 1e-9) << "1.5 s of a 3 s source";
    EXPECT_EQ(curve[1].flag, 1) << "a mark of any kind is kept as 1";

    // Names that would write elsewhere are refused; so is a folder that
    // cannot take the file, which then leaves nothing behind.
    EXPECT_TRUE(c->savePreset(QStringLiteral("../Escape"), &error).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("../Escape"))));
    QDir(folder).removeRecursively();
    touch(folder);  // a file where the folder should be
    error.clear();
    EXPECT_TRUE(c->savePreset(QStringLiteral("Lead"), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    QFile::remove(folder);
}
