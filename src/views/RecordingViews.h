#pragma once

#include <QPointF>
#include <QWidget>

#include <functional>
#include <vector>

// The record button: a red disc while idle, a red square while a recording
// runs. A click asks its owner to start or to end the recording; the owner
// sets both flags and the hidden state, the button only draws them.
class RecordView : public QWidget {
    Q_OBJECT
public:
    explicit RecordView(QWidget* parent = nullptr);

    bool isMouseDown = false;  // kept for the owner; the button does not use it
    bool recordViewAcceptsMouseDown = true;
    bool sessionIsRunning = false;
    // The owner's actions (the controller's start and end of the capture).
    std::function<void(RecordView*)> startCaptureSessionFrom;
    std::function<void(RecordView*)> endCaptureSessionFrom;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// The live waveform of the last 60 seconds of a recording: one bar per
// level tick, drawn at its time in the current window, and the time of the
// last tick.
class RecordingWaveView : public QWidget {
    Q_OBJECT
public:
    explicit RecordingWaveView(QWidget* parent = nullptr);

    // x and y: the upper and lower half-heights of a bar, as fractions of H/2.
    std::vector<QPointF> wavePoints;
    // Seconds from the start of the current window, one per point.
    std::vector<double> waveTimes;
    // Window k shows the recording's times 60k to 60k + 60 s.
    quint64 timeCounter = 0;

    // "12.50 s": the time of the last point in the whole recording.
    QString timeText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
