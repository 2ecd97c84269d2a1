// Tells whether events of some classes (keys, mouse, posted, timers, paint) have arrived since
// the last probe: an application-wide event filter notes the class of every event delivered.
// The view's own repaint and refresh tick are not counted, as they are the work in progress.
#pragma once

#include <QObject>
#include <QPointer>

class CPendingInput : public QObject {
    Q_OBJECT
public:
    // `view` is the window whose own paints and refresh timer are not counted.
    explicit CPendingInput(QWidget* view);
    ~CPendingInput() override;

    // Whether any class in `mask` arrived since it was last probed; clears those classes.
    bool Probe(unsigned mask);
    // The class bit of an event, or 0 for events that do not count.
    static unsigned ClassOf(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsOwnWork(QObject* watched, const QEvent* event) const;

    QPointer<QWidget> m_view;
    unsigned m_arrived = 0;
};
