#pragma once

// The waveform picture of a track after a range edit, composed from pieces
// of pictures it already has: no audio is read. Every picture is 2000 × 400
// pixels and spans the track's whole durationInSeconds, so a time t lies at
// x = 2000 × t / durationInSeconds. Positions and widths below are in those
// pixels; times in seconds. A position below 5 counts as the track's start,
// one above 1995 as its end. Main thread; no controller.
//
// The three edits append their picture to the track's filterBitmaps and make
// it current: versions only grow, so an undo record or a copied selection
// that names a picture keeps naming the same one.

#include <QImage>

class MusicFilter;

namespace waveformedits {

inline constexpr double kPictureWidth = 2000.0;
inline constexpr int kPictureHeight = 400;
inline constexpr double kStartMargin = 5.0;
inline constexpr double kEndMargin = 1995.0;
inline constexpr double kSilenceLineY = 200.0;

// The pictures themselves, from the old one (and for a paste the source's).
// `timeDifference` is the seconds the edit adds (or removes), `timeDuration`
// the track's length before it.
QImage pastedPicture(const QImage& old, const QImage& source, double timeDifference,
                     double widthInsertion, double sourceWidthDifference,
                     double sourceWidthInsertion, double timeDuration, double sourceSpeed);
QImage silencePicture(const QImage& old, double timeDifference, double widthInsertion,
                      double timeDuration);
QImage removedPicture(const QImage& old, double widthDifference, double widthInsertion,
                      double timeDifference, double totalTimeDuration);

// The source picture scaled to ceil(2000 × speed) pixels wide, the one a
// paste at a speed other than 1 takes its piece from.
QImage scaledSourcePicture(const QImage& source, double speed);

// The edits on a track: each appends one picture and makes it current.
// False, with nothing changed, when the track (or the source, at
// `sourceIndex`) has no such picture.
bool modifyAudioBitmapForFilter(MusicFilter& filter, const MusicFilter& sourceFilter,
                                double timeDifference, double widthInsertion,
                                double sourceWidthDifference, double sourceWidthInsertion,
                                uint64_t sourceIndex, double timeDuration, double sourceSpeed);
bool modifyAudioEmptyBitmapForFilter(MusicFilter& filter, double timeDifference,
                                     double widthInsertion, double timeDuration);
bool modifyAudioBitmapForFilter(MusicFilter& filter, double widthDifference, double widthInsertion,
                                double timeDifference, double totalTimeDuration);

}  // namespace waveformedits
