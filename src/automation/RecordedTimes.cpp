// Key points follow their track: shifted when it moves, scaled when its
// speed changes, reset to the defaults, and the end of a recording burst
// marked.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"

#include <QThread>

namespace automation {

void shiftKeyPoints(TrackCurves& curves, double difference) {
    for (auto& [key, curve] : curves)
        rewriteKeyPoints(curve, [&](double t) { return t + difference; }, [](double v) { return v; });
}

void scaleKeyPoints(TrackCurves& curves, double factor) {
    for (auto& [key, curve] : curves)
        rewriteKeyPoints(curve, [&](double t) { return t * factor; }, [](double v) { return v; });
}

void markLastKeyPoint(KeyPointCurve& curve, const KeyPoint& last) {
    for (KeyPoint& p : curve)
        if (p.time == last.time) {
            p = KeyPoint{last.time, last.value, KeyPoint::kRecordingBoundary};
            return;
        }
}

}  // namespace automation

namespace {

// Runs `fn` on the main thread: at once there, else queued while the track lives.
template <typename Fn>
bool handedToMainThread(AudioController* c, MusicFilter* track, Fn fn) {
    if (QThread::currentThread() == c->thread()) return false;
    QPointer<AudioController> self(c);
    std::weak_ptr<MusicFilter> weak = track ? track->weak_from_this() : std::weak_ptr<MusicFilter>();
    MainQueue::async([self, weak, fn] {
        if (auto t = weak.lock(); self && t) fn(self.data(), t.get());
    });
    return true;
}

}  // namespace

void AudioController::updateRecordedTimesForFilter(MusicFilter* track, double difference) {
    if (!track) return;
    if (handedToMainThread(this, track, [difference](AudioController* c, MusicFilter* t) {
            c->updateRecordedTimesForFilter(t, difference);
        }))
        return;
    if (auto it = automation.recordedParameters.find(track->identifierOfFilter);
        it != automation.recordedParameters.end())
        automation::shiftKeyPoints(it->second, difference);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
}

void AudioController::updateRecordedTimesForFilterScaling(MusicFilter* track, double factor) {
    if (!track) return;
    if (handedToMainThread(this, track, [factor](AudioController* c, MusicFilter* t) {
            c->updateRecordedTimesForFilterScaling(t, factor);
        }))
        return;
    if (auto it = automation.recordedParameters.find(track->identifierOfFilter);
        it != automation.recordedParameters.end())
        automation::scaleKeyPoints(it->second, factor);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
}

void AudioController::resetRecordedCurveForFilter(MusicFilter* track, const QStringList& keys) {
    if (!track) return;
    if (auto it = automation.recordedParameters.find(track->identifierOfFilter);
        it != automation.recordedParameters.end()) {
        for (const QString& key : keys) {
            auto curve = it->second.find(key);
            if (curve == it->second.end()) continue;
            const auto input = effectinputs::fromKey(key);
            const bool band = key.startsWith(QLatin1String("inputGain"));
            const bool hasDefault = input && !band && *input != EffectInput::Speed &&
                                    *input != EffectInput::FadeIn && *input != EffectInput::FadeOut &&
                                    *input != EffectInput::Repeat;
            const double d = hasDefault ? double(defaultValue(key.toLatin1().constData())) : 0.0;
            automation::rewriteKeyPoints(curve->second, [](double t) { return t; },
                                         [&](double v) { return hasDefault ? d : v; });
        }
    }
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
}

void AudioController::updateRecordedLastValueForFilter(MusicFilter* track, const QString& key) {
    if (!track || !automation.nonsortedValuesArray || automation.nonsortedValuesArray->empty()) return;
    auto t = automation.tempRecorderParameters.find(track->identifierOfFilter);
    if (t == automation.tempRecorderParameters.end()) return;
    auto curve = t->second.find(key);
    if (curve == t->second.end()) return;
    automation::markLastKeyPoint(curve->second, automation.nonsortedValuesArray->back());
}
